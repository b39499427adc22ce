#!/usr/bin/env bash
# End-to-end run of the desktop window as a user meets it, by keyboard only: start
# `mirelune` on a virtual X server (its first screen shows a sample card), choose
# the year (Alt+Y), make a card (Ctrl+N, both names and words of one's own in
# another script in the New Card dialog centred on the window), try to quit (Ctrl+Q asks about the unsaved card; Escape keeps it),
# save it as PNG (Ctrl+Shift+S, the suggested name in ~/Pictures), quick-save it
# (Ctrl+S, a PNG), send it to a mail program that fails (xdg-email's status 3: a
# failure is shown), copy it (Ctrl+C) and quit (Ctrl+Q, no question now). The saved file must be the command line's
# `card --year --wish` PNG byte for byte, and the clipboard must hold the card. Then the
# workbench: start "loop" (a click on its button), see the card change while it
# runs, open Help ▸ Keyboard Shortcuts (F1) within half a second, close it and
# quit with Ctrl+Q, which must end the program with status 0 within a second.
#
#   scripts/e2e-window.sh BUILD_DIR [SCREENSHOT.png [LOOP-SCREENSHOT.png]]
#   (the New Card dialog is shot beside the first, as SCREENSHOT-dialog.png)
#
# E2E_HOME sets the home folder the window sees (default: a fresh one under /tmp);
# E2E_DARK=1 runs it with a dark colour scheme (through the qt6ct platform theme).
# Exit status: 0 same card, 1 mismatch or failure, 77 no X server or xdotool here.
set -euo pipefail

build=${1:?usage: e2e-window.sh BUILD_DIR [SCREENSHOT.png]}
screenshot=${2:-}
loop_screenshot=${3:-}
build=$(cd "$build" && pwd)
app="$build/src/window/mirelune"
cli="$build/mirelune-cli"
friend="Mary Ann"
sender="Bob"
year=2031
wish="Frohes neues Jahr, 李雷!"

for tool in Xvfb xdotool xclip import compare; do
  if ! command -v "$tool" >/dev/null; then
    echo "e2e-window: $tool is not installed; skipped" >&2
    exit 77
  fi
done
for bin in "$app" "$cli"; do
  [[ -x "$bin" ]] || { echo "e2e-window: $bin is missing; build it first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/mirelune-e2e.XXXXXX)
home=${E2E_HOME:-$work/home}
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
  [[ -s "$work/app.log" ]] && sed 's/^/  app: /' "$work/app.log" >&2
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
Xvfb -displayfd 3 -screen 0 1100x840x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
wait_for 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
unset QT_QPA_PLATFORM QT_QPA_PLATFORMTHEME  # the real X server, not an offscreen one

mkdir -p "$home/.config" "$work/root" "$work/bin"
printf '#!/bin/sh\nexit 3\n' >"$work/bin/xdg-email"  # a desktop with no mail program
chmod +x "$work/bin/xdg-email"
theme=()
if [[ ${E2E_DARK:-0} == 1 ]]; then
  mkdir -p "$home/.config/qt6ct"
  printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n' \
    >"$home/.config/qt6ct/qt6ct.conf"
  theme=(QT_QPA_PLATFORMTHEME=qt6ct)
fi
env -u MIRELUNE_SMTP_URL HOME="$home" XDG_CONFIG_HOME="$home/.config" MIRELUNE_ROOT="$work/root" LANG=C.UTF-8 \
  LC_ALL=C.UTF-8 PATH="$work/bin:$PATH" "${theme[@]}" "$app" >"$work/app.log" 2>&1 &
app_pid=$!

# The first visible window whose title matches $1.
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
has_window() { [[ -n "$(window_named "$1")" ]]; }
# Keys to the window titled $1 (there being no window manager to give it focus).
keys_to() {
  local title=$1; shift
  wait_for 20 has_window "$title" || fail "no window \"$title\""
  xdotool windowfocus --sync "$(window_named "$title")" 2>/dev/null || true
  sleep 0.2
  xdotool "$@"
}

wait_for 20 has_window '^Mirelune$' || fail "the window did not appear"
# The first screen: a sample card, not an empty field (thousands of colours).
first_screen() {
  import -window "$(window_named '^Mirelune$')" "$work/first.png" 2>/dev/null &&
    (($(convert "$work/first.png" -format %k info:) > 2000))
}
wait_for 20 first_screen || fail "the first screen shows no card"
keys_to '^Mirelune$' key alt+y ctrl+a type "$year"
keys_to '^Mirelune$' key Tab ctrl+n
centre() { eval "$(xdotool getwindowgeometry --shell "$1")"; echo $((X + WIDTH / 2)) $((Y + HEIGHT / 2)); }
wait_for 10 has_window '^New Card$' || fail "Ctrl+N opened no New Card dialog"
read -r dx dy < <(centre "$(window_named '^New Card$')")
read -r wx wy < <(centre "$(window_named '^Mirelune$')")
(((dx - wx) * (dx - wx) + (dy - wy) * (dy - wy) <= 32)) ||
  fail "the New Card dialog stands at $dx,$dy, not over the window's middle $wx,$wy"
keys_to '^New Card$' type --delay 20 "$friend"
xdotool key Tab
xdotool type --delay 20 "$sender"
xdotool key Tab Tab  # past the year to the words
xdotool type --delay 120 "$wish"  # slower: each character outside the keymap is mapped to a key first
if [[ -n "$screenshot" ]]; then
  sleep 0.3
  import -window "$(window_named '^New Card$')" "$work/dialog.png"
  convert "$work/dialog.png" -colors 256 "PNG8:${screenshot%.png}-dialog.png"
fi
xdotool key Return
title="^$friend from $sender — Mirelune\$"
wait_for 60 has_window "$title" || fail "no card was made"

# Quitting now asks about the unsaved card; Escape keeps the window.
keys_to "$title" key ctrl+q
wait_for 10 has_window '^Quit Mirelune$' || fail "Ctrl+Q did not ask about the unsaved card"
keys_to '^Quit Mirelune$' key Escape
sleep 0.5
has_window "$title" || fail "Escape on the question ended the program"

# Save As: the suggested name in ~/Pictures, confirmed with Enter.
keys_to "$title" key ctrl+shift+s
wait_for 10 has_window '^Save the Card As$' || fail "Ctrl+Shift+S opened no file dialog"
keys_to '^Save the Card As$' key Return
saved="$home/Pictures/$friend from $sender.png"
wait_for 10 test -s "$saved" || fail "no card saved as $saved"

if [[ -n "$screenshot" ]]; then
  sleep 0.5  # the status line's news drawn
  import -window "$(window_named "$title")" "$work/shot.png"
  # A palette of 256 colours keeps the picture small enough to keep in the repository.
  convert "$work/shot.png" -colors 256 "PNG8:$screenshot"
fi

keys_to "$title" key ctrl+s
quick_png() { compgen -G "$work/root/wimgx/GR-*.png" >/dev/null; }
wait_for 10 quick_png || fail "Ctrl+S saved no PNG in the output folder"

# The mail program fails: the window says so (the path is checked by the window tests).
keys_to "$title" key alt+g
keys_to "^FRIEND'S E-MAIL ADDRESS\$" type --delay 20 "mary@example.org"
xdotool key Return
keys_to '^MESSAGE TO FRIEND$' type --delay 20 "Happy new year"
xdotool key Return
wait_for 20 has_window '^Greetings not sent$' || fail "the failed hand-over to the mail program was not shown"
keys_to '^Greetings not sent$' key Escape

keys_to "$title" key ctrl+c
clip_png() { xclip -selection clipboard -t image/png -o >"$work/clip.png" 2>/dev/null && [[ -s "$work/clip.png" ]]; }
wait_for 10 clip_png || fail "Ctrl+C put no picture on the clipboard"
[[ $(identify -format '%wx%h' "$work/clip.png") == 896x671 ]] || fail "the clipboard's picture is not the card"

"$cli" card --friend "$friend" --sender "$sender" --year "$year" --wish "$wish" --format png --out "$work/cli.png" >/dev/null
if ! cmp -s "$saved" "$work/cli.png"; then
  cmp "$saved" "$work/cli.png" || true
  fail "the window's card differs from the command line's"
fi

keys_to "$title" key ctrl+q  # saved: no question
# Ended: gone, or a zombie waiting for this script to collect its status.
app_ended() { [[ ! -e /proc/$app_pid ]] || grep -q '^State:.*Z' "/proc/$app_pid/status" 2>/dev/null; }
wait_for 10 app_ended || fail "Ctrl+Q did not end the program"
status=0
wait "$app_pid" || status=$?
app_pid=""
((status == 0)) || fail "the program ended with status $status"
grep -q "^year=$year\$" "$home/.config/mirelune/Mirelune.conf" || fail "the year was not remembered"
echo "e2e-window: the window's card is the command line's card ($(basename "$saved"))"

# --- the workbench's loop: the window answers while cards are made ---
ms() { echo $(($(date +%s%N) / 1000000)); }
env HOME="$home" XDG_CONFIG_HOME="$home/.config" MIRELUNE_ROOT="$work/root" LANG=C.UTF-8 LC_ALL=C.UTF-8 \
  "${theme[@]}" "$app" --workbench >"$work/app.log" 2>&1 &
app_pid=$!
wait_for 20 has_window '^Mirelune$' || fail "the workbench did not appear"
main=$(window_named '^Mirelune$')
# "loop" stands at (776, 32) in the client area, 41 x 17, below the menu bar.
menu_bar=22
xdotool mousemove --window "$main" $((776 + 20)) $((32 + 8 + menu_bar)) click 1
sleep 1.5
import -window "$main" "$work/loop1.png"
sleep 1
import -window "$main" "$work/loop2.png"
changed=$(compare -metric AE "$work/loop1.png" "$work/loop2.png" null: 2>&1 || true)
[[ ${changed%% *} =~ ^[0-9]+$ ]] && ((${changed%% *} > 1000)) || fail "the window did not change during the loop ($changed)"
[[ -n "$loop_screenshot" ]] && convert "$work/loop2.png" -colors 256 "PNG8:$loop_screenshot"

xdotool windowfocus --sync "$main" 2>/dev/null || true
start=$(ms)
xdotool key F1
wait_for 5 has_window '^Keyboard Shortcuts$' || fail "F1 opened no shortcuts during the loop"
f1_ms=$(($(ms) - start))
keys_to '^Keyboard Shortcuts$' key Escape
wait_for 5 bash -c "! xdotool search --onlyvisible --name '^Keyboard Shortcuts\$' >/dev/null 2>&1" ||
  fail "Escape did not close the shortcuts"
xdotool windowfocus --sync "$main" 2>/dev/null || true
start=$(ms)
xdotool key ctrl+q
wait_for 5 app_ended || fail "Ctrl+Q did not end the program during the loop"
quit_ms=$(($(ms) - start))
status=0
wait "$app_pid" || status=$?
app_pid=""
((status == 0)) || fail "the program ended with status $status during the loop"
echo "e2e-window: during the loop F1 answered in $f1_ms ms, Ctrl+Q ended the program in $quit_ms ms"
((f1_ms <= 500)) || fail "F1 took $f1_ms ms during the loop"
((quit_ms <= 1000)) || fail "Ctrl+Q took $quit_ms ms during the loop"
