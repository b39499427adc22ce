#!/usr/bin/env bash
# End-to-end run of the desktop window as a user meets it: start `mirelune` on a
# virtual X server, press "new", type both names, press "save on C:\wimgx", and
# compare the saved file byte for byte with the card the command line makes for
# the same names. Then "exit" must end the program.
#
#   scripts/e2e-window.sh BUILD_DIR [SCREENSHOT.png]
#
# Exit status: 0 same card, 1 mismatch or failure, 77 no X server or xdotool here.
set -euo pipefail

build=${1:?usage: e2e-window.sh BUILD_DIR [SCREENSHOT.png]}
screenshot=${2:-}
build=$(cd "$build" && pwd)
app="$build/src/window/mirelune"
cli="$build/mirelune-cli"
friend="Mary Ann"
sender="Bob"

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "e2e-window: $tool is not installed; skipped" >&2
    exit 77
  fi
done
for bin in "$app" "$cli"; do
  [[ -x "$bin" ]] || { echo "e2e-window: $bin is missing; build it first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/mirelune-e2e.XXXXXX)
xvfb_pid=""
app_pid=""
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "e2e-window: $*" >&2
  exit 1
}

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

# A free display number, chosen by the server itself.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1100x820x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
wait_for 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
unset QT_QPA_PLATFORM  # the real X server, not an offscreen one

root="$work/root"
mkdir -p "$root"
MIRELUNE_ROOT="$root" "$app" >"$work/app.log" 2>&1 &
app_pid=$!

main_window() { xdotool search --onlyvisible --name '^Mirelune$' 2>/dev/null | head -n1; }
has_window() { [[ -n "$(main_window)" ]]; }
wait_for 20 has_window || fail "the window did not appear"
win=$(main_window)
eval "$(xdotool getwindowgeometry --shell "$win")"
win_x=$X
win_y=$Y

# Presses the button whose top-left corner is at (left, top) of the client area.
press() { xdotool mousemove $((win_x + $1 + 8)) $((win_y + $2 + 8)) click 1; }

# The input dialog whose top-left corner stands at (x, y) on the screen.
dialog_at() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Mirelune$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [[ $X == "$1" && $Y == "$2" ]]; then
      echo "$id"
      return 0
    fi
  done
  return 1
}

answer() {  # x y text
  wait_for 10 dialog_at "$1" "$2" >/dev/null || fail "no dialog at $1,$2"
  local id
  id=$(dialog_at "$1" "$2")
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  xdotool type --delay 20 "$3"
  xdotool key Return
}

# "new"; pressed again should the window not have taken the first press yet.
for _ in 1 2 3; do
  press 24 8
  wait_for 3 dialog_at 33 200 >/dev/null && break
done
answer 33 200 "$friend"      # the friend's name
answer 33 400 "$sender"      # the own name

# "save" is ignored while the card is being made: press until a card is written.
saved=""
end=$((SECONDS + 60))
while [[ -z "$saved" ]]; do
  ((SECONDS < end)) || fail "no card was saved"
  press 224 8
  sleep 0.3
  saved=$(find "$root/wimgx" -name 'GR-*.bmp' 2>/dev/null | head -n1)
done
[[ $(basename "$saved") =~ ^GR-[0-9]{14}\.bmp$ ]] || fail "unexpected name $saved"

if [[ -n "$screenshot" ]]; then
  import -window "$win" "$work/shot.png"
  # A palette of 256 colours keeps the picture small enough to keep in the repository.
  convert "$work/shot.png" -colors 256 "PNG8:$screenshot"
fi

"$cli" card --friend "$friend" --sender "$sender" --out "$work/cli.bmp" >/dev/null
if ! cmp -s "$saved" "$work/cli.bmp"; then
  cmp "$saved" "$work/cli.bmp" || true
  fail "the window's card differs from the command line's"
fi

press 344 8                  # "exit"
# Ended: gone, or a zombie waiting for this script to collect its status.
app_ended() { [[ ! -e /proc/$app_pid ]] || grep -q '^State:.*Z' "/proc/$app_pid/status" 2>/dev/null; }
wait_for 5 app_ended || fail "exit did not end the program"
status=0
wait "$app_pid" || status=$?
app_pid=""
((status == 0)) || fail "the program ended with status $status"
echo "e2e-window: the window's card is the command line's card ($(basename "$saved"))"
