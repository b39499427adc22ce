#!/usr/bin/env bash
# The Windows build's checks, under wine: its cards must be the Linux build's
# pixel for pixel, names and paths in any script must work, the unit tests must
# pass, and the installer must install a working program. Run by
# `scripts/windows.sh --test` after the build; every wine call has a time limit.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
W=$ROOT/build-win
STAGE=$W/Mirelune
LINUX=$ROOT/build/mirelune-cli
USER=${USER:-$(id -un)}
export WINEPREFIX=$W/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY  # no window is needed for these, and none may pop up
T=$W/check
rm -rf "$T" && mkdir -p "$T/lin" "$T/win"
checks=0 failed=0
start=$(date +%s)
ok() { checks=$((checks + 1)); echo "  ok   $*"; }
bad() { checks=$((checks + 1)); failed=$((failed + 1)); echo "  FAIL $*"; }
wine_() { timeout 300 wine "$@"; }  # a hang fails the check instead of stalling it
same_pixels() {  # same_pixels A B: whole cards equal, decoded
  [ -s "$1" ] && [ -s "$2" ] && [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = "0" ]
}

if [ ! -x "$LINUX" ]; then
  echo "windows-check: building the Linux reference $LINUX"
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMIRELUNE_WERROR=ON -DMIRELUNE_WINDOW=OFF -DMIRELUNE_BENCH=OFF \
    -DMIRELUNE_TESTS=OFF >/dev/null
  cmake --build build -j2 --target mirelune-cli >/dev/null
fi
timeout 300 wineboot -i >/dev/null 2>&1 || true
CLI=$STAGE/mirelune-cli.exe  # the portable copy: it reads the faces shipped beside it

echo "windows-check: one card"
"$LINUX" card --friend Mary --sender Bob --year 2017 --out "$T/lin/mary-bob.png" >/dev/null
(cd "$T/win" && wine_ "$CLI" card --friend Mary --sender Bob --year 2017 --out mary-bob.png >/dev/null)
same_pixels "$T/lin/mary-bob.png" "$T/win/mary-bob.png" && ok "Mary/Bob 2017" || bad "Mary/Bob 2017 differs"

echo "windows-check: names in many scripts, also as file names"
pairs=("Zoë|Renée" "José|Łucja" "Ольга|Иван" "Дмитрий|Зоя" "Ελένη|Νίκος" "Γιώργος|Zoë" "محمد|فاطمة" "ليلى|Omar"
  "דוד|שרה" "Noa|יעל" "李雷|韩梅梅" "さくら|健太" "민준|서연" "प्रिया|राहुल" "अर्जुन|Anna" "Zoë|Ольга" "李雷|Mary"
  "Ana María|Søren" "O'Brien|Straße" "Amélie|Chloé")
for p in "${pairs[@]}"; do
  f=${p%|*} s=${p#*|}
  "$LINUX" card --friend "$f" --sender "$s" --year 2017 --out "$T/lin/$f-$s.png" >/dev/null
  (cd "$T/win" && wine_ "$CLI" card --friend "$f" --sender "$s" --year 2017 --out "$f-$s.png" >/dev/null) || true
  same_pixels "$T/lin/$f-$s.png" "$T/win/$f-$s.png" && ok "$f/$s" || bad "$f/$s differs or is missing"
done
# A folder named in Cyrillic, given as a Windows path with backslashes.
mkdir -p "$T/win/Ольга"
(cd "$T/win" && wine_ "$CLI" card --friend Zoë --sender Ольга --year 2017 --out 'Ольга\Zoë.png' >/dev/null) || true
same_pixels "$T/lin/Zoë-Ольга.png" "$T/win/Ольга/Zoë.png" && ok "a card into Ольга\\Zoë.png" || bad "Ольга\\Zoë.png"

echo "windows-check: the card set as a batch (every row's BMP against Linux)"
"$LINUX" batch tests/card-set/list.csv --out-dir "$T/lin/batch" --format bmp --year 2017 >/dev/null 2>&1 || true
wine_ "$CLI" batch tests/card-set/list.csv --out-dir "$T/win/batch" --format bmp --year 2017 >/dev/null 2>&1 || true
digests() { python3 -c 'import json,sys
for l in open(sys.argv[1]):
    r = json.loads(l); print(r.get("line"), r.get("status"), r.get("sha256"))' "$1" | sort -n; }
if [ -s "$T/win/batch/manifest.jsonl" ] && diff <(digests "$T/lin/batch/manifest.jsonl") <(digests "$T/win/batch/manifest.jsonl") >"$T/batch.diff"; then
  ok "batch: all $(wc -l <"$T/lin/batch/manifest.jsonl") rows the same"
else
  bad "batch: $(wc -l <"$T/batch.diff") lines of differences ($T/batch.diff)"
fi
n=0
for f in "$T/lin/batch"/*.bmp; do
  n=$((n + 1)); [ $n -le 10 ] || break
  same_pixels "$f" "$T/win/batch/$(basename "$f")" || { bad "batch card $(basename "$f") differs"; n=100; }
done
[ $n -lt 100 ] && ok "batch: the first 10 cards decoded, pixel for pixel"

echo "windows-check: what the Windows build says"
expect() {  # expect STATUS TEXT ARGS...: exit status and a piece of the error
  local want=$1 text=$2 got=0
  shift 2
  (cd "$T/win" && wine_ "$CLI" "$@" >"$T/out" 2>"$T/err") || got=$?
  if [ "$got" = "$want" ] && grep -qF -- "$text" "$T/err"; then ok "$* -> $want, \"$text\""; else
    bad "$* -> $got: $(head -c 300 "$T/err")"; fi
}
expect 1 'no-such-folder\x.png' card --friend A --sender B --out 'no-such-folder\x.png'
expect 1 "Mail is not part of" card --friend A --sender B --mail-to friend@example.org
expect 1 "printing is not part of" card --friend A --sender B --print a6 --out page.pdf
expect 2 'unexpected argument "/x"' card --friend A --sender B /x  # a path, not an option
# A mailed card is saved first, even when the mail then fails: into Pictures\Mirelune,
# or C:\wimgx when MIRELUNE_ROOT=C:\ asks for it.
pics=$WINEPREFIX/drive_c/users/$USER/Pictures/Mirelune
rm -rf "$pics" "$WINEPREFIX/drive_c/wimgx"
(cd "$T/win" && wine_ "$CLI" card --friend Mary --sender Bob --year 2017 --mail-to a@example.org >/dev/null 2>&1) || true
ls "$pics"/GR-*.bmp >/dev/null 2>&1 && ok "a card saved under Pictures\\Mirelune" || bad "nothing in $pics"
(cd "$T/win" && MIRELUNE_ROOT='C:\' wine_ "$CLI" card --friend Mary --sender Bob --year 2017 --mail-to a@example.org \
  >/dev/null 2>&1) || true
ls "$WINEPREFIX"/drive_c/wimgx/GR-*.bmp >/dev/null 2>&1 && ok "MIRELUNE_ROOT=C:\\ saves in C:\\wimgx" || bad "nothing in C:\\wimgx"

echo "windows-check: the web service on loopback"
# Port 0: the system picks a free one, which the "serving on" line names.
SERVE=$STAGE/mirelune-serve.exe
(cd "$T/win" && exec timeout 300 wine "$SERVE" --listen 127.0.0.1:0 --jobs 2 >"$T/serve.out" 2>"$T/serve.err") &
serve=$!
port=""
for _ in $(seq 120); do
  port=$(sed -n 's/.*serving on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$T/serve.err" | head -1)
  [ -n "$port" ] && break
  kill -0 "$serve" 2>/dev/null || break
  sleep 0.5
done
if [ -z "$port" ]; then
  bad "mirelune-serve.exe did not start: $(head -c 300 "$T/serve.err")"
else
  healthy=""
  for _ in $(seq 40); do
    healthy=$(curl -s --max-time 5 "http://127.0.0.1:$port/healthz" || true)
    [ "$healthy" = "ok" ] && break
    sleep 0.5
  done
  [ "$healthy" = "ok" ] && ok "/healthz on 127.0.0.1:$port" || bad "/healthz answered \"$healthy\""
  # The service's card is `card --out x.png`'s: the same pixels as the Linux build's Mary/Bob 2017.
  curl -s --max-time 120 -o "$T/win/served.png" "http://127.0.0.1:$port/card.png?friend=Mary&sender=Bob&year=2017" || true
  same_pixels "$T/lin/mary-bob.png" "$T/win/served.png" && ok "/card.png Mary/Bob 2017, pixel for pixel" ||
    bad "/card.png Mary/Bob 2017 differs or is missing"
fi
# Stopped as on Ctrl-C (wine hands SIGINT to the console handler): it must end by itself.
kill -INT "$serve" 2>/dev/null || true
for _ in $(seq 60); do kill -0 "$serve" 2>/dev/null || break; sleep 0.5; done
if kill -0 "$serve" 2>/dev/null; then
  bad "mirelune-serve.exe still runs 30 s after SIGINT"
  kill -KILL "$serve" 2>/dev/null || true
else
  wait "$serve" 2>/dev/null && ok "mirelune-serve.exe stopped on SIGINT, status 0" || bad "mirelune-serve.exe ended with status $?"
fi
expect 1 "not available on Windows" serve --listen unix:serve.sock  # through mirelune-cli, its status passed on
# mirelune-cli.exe serve hands its arguments on to mirelune-serve.exe on a command line
# of its own quoting, and the service names the path it refuses: each comes back as it was.
for arg in 'a b' 'say "hi"' 'ends\' 'ends\\' 'q\"x' '\\"x\\ y' $'tab\there' 'Zoë Ольга'; do
  expect 1 "unix:$arg: listening on a Unix socket" serve --listen "unix:$arg"
done

if [ -f "$W/mirelune/tests/mirelune-tests.exe" ]; then
  echo "windows-check: unit tests"
  if (cd "$ROOT/tests" && MIRELUNE_FONT_DIR=$(winepath -w "$STAGE/share/mirelune/fonts") timeout 900 wine "$W/mirelune/tests/mirelune-tests.exe" --gtest_brief=1 >"$T/unit.log" 2>&1); then
    ok "unit tests: $(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$T/unit.log" | head -1)"
  else
    bad "unit tests ($T/unit.log): $(grep -E '^\[  FAILED' "$T/unit.log" | head -5 | tr '\n' ' ')"
  fi
fi

if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  echo "windows-check: the window, on a virtual screen"
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
  xvfb=$!
  rm -rf "$pics"
  timeout 20 wineserver -k || true  # its desktop process started without a display: a new one with this one
  (export DISPLAY=$display; cd "$T/win" && timeout 120 wine "$STAGE/mirelune.exe" >/dev/null 2>&1) &
  win=""
  for _ in $(seq 60); do win=$(DISPLAY=$display xdotool search --name "^Mirelune [0-9]" 2>/dev/null | head -1) && [ -n "$win" ] && break; sleep 0.5; done
  if [ -n "$win" ]; then
    # "new" (the buttons sit below the menu bar), the two names, then "save in Pictures".
    x() { DISPLAY=$display xdotool "$@"; }
    x mousemove --window "$win" 50 39 click 1; sleep 1.5
    x type --delay 30 Mary; x key Return; sleep 1
    x type --delay 30 Bob; x key Return; sleep 3
    x mousemove --window "$win" 171 39 click 1
    for _ in $(seq 20); do ls "$pics"/GR-*.bmp >/dev/null 2>&1 && break; sleep 0.5; done
    year=$(( $(date -u +%Y) + ($(date -u +%-m) >= 10 ? 1 : 0) ))
    "$LINUX" card --friend Mary --sender Bob --year "$year" --out "$T/lin/window.bmp" >/dev/null
    same_pixels "$T/lin/window.bmp" "$(ls "$pics"/GR-*.bmp 2>/dev/null | head -1)" &&
      ok "the window's new + save: the Mary/Bob $year card" || bad "the window's Mary/Bob card"
  else
    bad "the window did not open"
  fi
  timeout 20 wineserver -k || true
  kill "$xvfb" 2>/dev/null || true
fi

echo "windows-check: the installer"
setup=$(ls "$W"/mirelune-setup-*.exe | head -1)
inst=$WINEPREFIX/drive_c/users/$USER/AppData/Local/Programs/Mirelune
rm -rf "$inst"
wine_ "$setup" /S || true
for _ in $(seq 30); do [ -f "$inst/uninstall.exe" ] && break; sleep 1; done  # the installer may return early
if [ -f "$inst/mirelune-cli.exe" ] && [ -f "$inst/LICENSE.txt" ] && ls "$inst"/licences/fonts-*.txt >/dev/null 2>&1; then
  ok "installed in %LOCALAPPDATA%\\Programs\\Mirelune, with the licences"
  (cd "$T/win" && wine_ "$inst/mirelune-cli.exe" card --friend Mary --sender Bob --year 2017 --out installed.png >/dev/null) || true
  same_pixels "$T/lin/mary-bob.png" "$T/win/installed.png" && ok "the installed program's Mary/Bob card" || bad "installed program's card"
else
  bad "the installer did not install into $inst"
fi

echo "windows-check: $checks checks, $failed failed, $(( $(date +%s) - start )) s"
[ "$failed" -eq 0 ]
