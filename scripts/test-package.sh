#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a throw-away root and checks it as a
# user would meet it: the files in place, the installed command line making a
# card (Mary and Bob's, byte for byte), both programs answering --version without a
# display, each face file of the card in a package it depends on (the script
# faces in one it recommends), the command line speaking German from its
# installed catalogue, the desktop entry and AppStream metainfo valid, the bash
# completions offering what they must, the manual pages rendering without
# warnings, and lintian without errors.
#
#   scripts/test-package.sh [BUILD_DIR]            (default build-package)
#   scripts/test-package.sh --system [BUILD_DIR]   also installs it on this machine
#                                                  with apt-get, runs it, removes it
# Exit status: 0 all well, 1 a check failed.
set -euo pipefail
cd "$(dirname "$0")/.."
system=0
if [ "${1:-}" = "--system" ]; then system=1; shift; fi
build=${1:-build-package}
jobs=$(nproc 2>/dev/null || echo 2)
fail() { echo "test-package: $*" >&2; exit 1; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# A build folder that already exists (the test script passes its own) keeps its settings.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMIRELUNE_WINDOW=ON -DMIRELUNE_TESTS=OFF \
    -DMIRELUNE_BENCH=OFF -DMIRELUNE_WERROR=OFF "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j"$jobs" >/dev/null
rm -f "$build"/mirelune_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/mirelune_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no package"
deb=${debs[0]}
echo "test-package: $deb ($(du -k "$deb" | cut -f1) kB), Depends: $(dpkg-deb -f "$deb" Depends)"
# What no link shows: the card's face files, and libcurl loaded only to mail.
# The package names in a relation field, one a line.
names() { dpkg-deb -f "$deb" "$1" | tr ',|' '\n\n' | sed -E 's/\(.*\)//; s/^ +//; s/ +$//' | grep -v '^$' || true; }
depends=$(names Depends)
recommends=$(names Recommends)
owner() { dpkg -S "$1" 2>/dev/null | head -1 | cut -d: -f1 || true; }
for face in truetype/dejavu/DejaVuSans.ttf truetype/liberation/LiberationSerif-Regular.ttf; do
  pkg=$(owner "/usr/share/fonts/$face")
  [ -n "$pkg" ] || fail "/usr/share/fonts/$face belongs to no installed package (install the build's fonts)"
  grep -qx "$pkg" <<<"$depends" || fail "the face $face is in $pkg, which Depends lacks"
done
for face in truetype/noto/NotoSansDevanagari-Regular.ttf opentype/noto/NotoSansCJK-Regular.ttc \
  truetype/noto/NotoColorEmoji.ttf truetype/arphic/uming.ttc; do
  pkg=$(owner "/usr/share/fonts/$face")
  [ -z "$pkg" ] || grep -qx "$pkg" <<<"$depends"$'\n'"$recommends" || fail "the face $face is in $pkg, which neither Depends nor Recommends names"
done
grep -qx libcurl4 <<<"$recommends" || fail "Recommends lacks libcurl4"
! grep -q 'libssl' <<<"$depends" || fail "Depends names libssl, which nothing links"

work=$(mktemp -d /tmp/mirelune-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
dpkg -x "$deb" "$work/root"
root=$work/root
app=usr/share/applications/io.mirelune.Mirelune.desktop
metainfo=usr/share/metainfo/io.mirelune.Mirelune.metainfo.xml
completions=usr/share/bash-completion/completions
for f in usr/bin/mirelune usr/bin/mirelune-cli usr/bin/mirelune-mail usr/bin/mirelune-serve $app $metainfo usr/share/locale/de/LC_MESSAGES/mirelune.mo \
  usr/share/icons/hicolor/scalable/apps/mirelune.svg usr/share/man/man1/mirelune.1.gz \
  usr/share/man/man1/mirelune-cli.1.gz usr/share/man/man1/mirelune-mail.1.gz usr/share/man/man1/mirelune-serve.1.gz $completions/mirelune-cli $completions/mirelune \
  usr/share/doc/mirelune/copyright usr/share/doc/mirelune/changelog.gz \
  usr/share/mirelune/translations/mirelune_de.qm; do
  [ -e "$root/$f" ] || fail "$f is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
  [ -e "$root/usr/share/icons/hicolor/${size}x${size}/apps/mirelune.png" ] || fail "no ${size}x${size} icon"
done

# The installed programs, without a display. Their output is read whole before grep
# looks at it: grep -q stops at the first match, and under pipefail the writer's
# SIGPIPE would fail the check.
cli=$root/usr/bin/mirelune-cli
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
grep -q '^mirelune [0-9]' <<<"$("${no_display[@]}" "$root/usr/bin/mirelune" --version)" || fail "mirelune --version"
grep -q -- '--year' <<<"$("${no_display[@]}" "$root/usr/bin/mirelune" --help)" || fail "mirelune --help"
grep -q '^mirelune-cli [0-9]' <<<"$("$cli" --version)" || fail "mirelune-cli --version"
# The card command links no HTTP server library: that is mirelune-serve's alone.
! grep -q 'microhttpd' <<<"$(ldd "$cli")" || fail "mirelune-cli loads the web server's library"
# Nor the mail library: mirelune-mail, beside it, is the card command with it.
! grep -q 'libcurl' <<<"$(ldd "$cli")" || fail "mirelune-cli loads libcurl"
grep -q 'libcurl' <<<"$(ldd "$root/usr/bin/mirelune-mail")" || fail "mirelune-mail does not link libcurl"
grep -q '^mirelune-serve [0-9]' <<<"$("$root/usr/bin/mirelune-serve" --version)" || fail "mirelune-serve --version"
MIRELUNE_ROOT=$work "$cli" card --friend Mary --sender Bob --out "$work/card.png" >/dev/null || fail "card failed"
# The golden card, byte for byte, from the installed program and the faces it depends on
# (its year named: the default one follows the calendar).
MIRELUNE_ROOT=$work "$cli" card --friend Mary --sender Bob --year 2017 --out "$work/card.bmp" >/dev/null || fail "BMP card failed"
golden=115febfe57b46ad2a37611038a933f46aad20a32f16dca34028a28c9870a3cf8
[ "$(sha256sum <"$work/card.bmp" | cut -d' ' -f1)" = "$golden" ] || fail "Mary and Bob's card is not the golden one"
grep -q '^friend: Mary$' <<<"$(MIRELUNE_ROOT=$work "$cli" info "$work/card.png")" || fail "info does not read the card"
# The catalogue is found beside the program (usr/bin/../share/locale), wherever it is unpacked.
german=$(LC_ALL=C.UTF-8 LANGUAGE=de "$cli" card --colour red 2>&1 >/dev/null || true)
grep -q '^mirelune-cli: unbekannte Option --colour$' <<<"$german" || fail "no German from the installed catalogue: $german"
grep -q '^License: Expat' "$root/usr/share/doc/mirelune/copyright" || fail "the copyright file names no licence"

# What completing the last word offers (bash-completion's helpers, when installed).
offers() {  # COMPLETION-FILE WORDS...
  bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    fn=$(complete -p "$1" | sed -E "s/.*-F ([^ ]+) .*/\1/"); COMPREPLY=()
    "$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"; echo "${COMPREPLY[*]}"' offers "$@"
}
for f in mirelune mirelune-cli; do bash -n "$root/$completions/$f" || fail "completion script $f"; done
if [ -f /usr/share/bash-completion/bash_completion ]; then
  [ "$(offers "$root/$completions/mirelune-cli" mirelune-cli card --format j)" = "jpg jpeg" ] || fail "completion lacks jpeg"
  [ "$(offers "$root/$completions/mirelune" mirelune --w)" = "--workbench" ] || fail "mirelune does not complete"
fi

desktop-file-validate "$root/$app" || fail "desktop entry"
# The metainfo as software centres read it, without fetching the screenshots.
appstreamcli validate --no-net "$root/$metainfo" >/dev/null || fail "$(appstreamcli validate --no-net "$root/$metainfo")"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  warnings=$(zcat "$page" | groff -ww -z -man 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
  ! grep -q '\\\\' <<<"$text" || fail "$(basename "$page") shows a doubled backslash"
done
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian reports errors"
fi

if [ "$system" = 1 ]; then
  apt-get install -y -qq "./$deb" >/dev/null || fail "apt-get could not install $deb"
  MIRELUNE_ROOT=$work mirelune-cli card --friend Ann --sender Eve --out "$work/installed.png" >/dev/null ||
    fail "the installed mirelune-cli failed"
  apt-get remove -y -qq mirelune >/dev/null
fi
echo "test-package: all checks passed"
