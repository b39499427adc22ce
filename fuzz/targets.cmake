# The fuzz targets, for fuzz/CMakeLists.txt (libFuzzer, clang) and for
# tests/CMakeLists.txt (their crash inputs and seed corpus replayed by ctest with
# the project's own compiler). A target whose source is not there is left out.
set(MIRELUNE_FUZZ_TARGETS)
foreach(t seed cli_args palette_chooser mail text card_report card_file csv request request_head)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/fuzz_${t}.cpp)
    list(APPEND MIRELUNE_FUZZ_TARGETS ${t})
  endif()
endforeach()

# An executable of fuzz target `t` and `extra` sources (a main of its own, for the
# replay). The card-report reader lives with the command line, so that target
# takes the command line's report and output sources along.
function(mirelune_fuzz_executable name t)
  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  add_executable(${name} ${dir}/fuzz_${t}.cpp ${ARGN})
  target_link_libraries(${name} PRIVATE mirelune_engine)
  if(t STREQUAL "card_report")
    target_sources(${name} PRIVATE ${dir}/../src/cli/report.cpp ${dir}/../src/cli/output.cpp ${dir}/../src/base/i18n.cpp)
    target_link_libraries(${name} PRIVATE mirelune_version CLI11::CLI11)
  endif()
  if(t MATCHES "^request")  # the web server's request handling and its head check
    target_link_libraries(${name} PRIVATE mirelune_web)
  endif()
endfunction()
