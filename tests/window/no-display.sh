#!/bin/sh
# mirelune without a display it can reach: status 1 and exactly one line on
# standard error; DISPLAY unset, naming no server, and X11 asked for by name.
# Usage: no-display.sh PATH/TO/mirelune
app=${1:?usage: no-display.sh MIRELUNE}
status=0
check() {  # DISPLAY-value-or-"-" QT_QPA_PLATFORM-value-or-"-" arguments...
  display=$1 platform=$2; shift 2
  set -- env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
    ${display:+DISPLAY=$display} ${platform:+QT_QPA_PLATFORM=$platform} timeout 20 "$app" "$@"
  err=$("$@" 2>&1 >/dev/null)
  rc=$?
  lines=$(printf '%s\n' "$err" | wc -l)
  if [ "$rc" != 1 ] || [ "$lines" != 1 ] || ! printf '%s' "$err" | grep -q '^mirelune: .*display.*mirelune-cli'; then
    echo "FAIL: $*: status $rc, $lines lines:"; printf '%s\n' "$err"; status=1
  else
    echo "ok: $*: $err"
  fi
}
check "" ""
check ":99999" ""
check "" "xcb"
check ":99999" "" -platform xcb
exit $status
