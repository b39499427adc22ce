# write_if_changed(PATH TEXT): writes TEXT to PATH only when it differs, so a
# generated header that did not change does not rebuild what includes it.
function(write_if_changed path text)
  set(old "")
  if(EXISTS "${path}")
    file(READ "${path}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${path}" "${text}")
  endif()
endfunction()
