#!/usr/bin/env bash
# The Windows build, made on Debian: mingw-w64 cross-compiles the libraries the
# engine needs (from Debian's own sources, statically) and then Mirelune; NSIS
# packs the installer, and a zip the portable copy.
#
#   bash scripts/windows.sh          # build-win/mirelune-setup-VERSION.exe and the zip
#   bash scripts/windows.sh --test   # the same, then the checks under wine
#
# Everything goes under build-win/: src (the Debian sources, kept), prefix (the
# libraries, one stamp each, kept), mirelune (our build), wine (the wine prefix).
# MIRELUNE_SIGN_KEY and MIRELUNE_SIGN_CERT (PEM files) sign the installer and
# the programs; without them nothing is signed.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
W=$ROOT/build-win
P=$W/prefix
HOST=x86_64-w64-mingw32
JOBS=2  # the machine's two cores, and no more: others measure on it
TEST=0
[ "${1:-}" = "--test" ] && TEST=1
start=$(date +%s)
say() { echo "windows.sh [$(( $(date +%s) - start ))s]: $*"; }

# --- tools, from Debian ---
need=()
command -v $HOST-g++-posix >/dev/null || need+=(mingw-w64)
command -v wine >/dev/null || need+=(wine wine64)
command -v makensis >/dev/null || need+=(nsis)
command -v osslsigncode >/dev/null || need+=(osslsigncode)
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
command -v nasm >/dev/null || need+=(nasm)
command -v zip >/dev/null || need+=(zip)
command -v compare >/dev/null || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
  say "installing ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

export CC=$HOST-gcc-posix CXX=$HOST-g++-posix AR=$HOST-ar RANLIB=$HOST-ranlib STRIP=$HOST-strip
export PKG_CONFIG_LIBDIR=$P/lib/pkgconfig PKG_CONFIG_PATH=
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$P/include" LDFLAGS="-L$P/lib"
mkdir -p "$W/src" "$P/lib/pkgconfig" "$P/include" "$W/libs"

# --- the libraries' Debian sources (with Debian's patches applied) ---
# mirelune-serve's: libmicrohttpd, and Cairo with pixman for the previews.
SOURCES=(zlib libpng1.6 libjpeg-turbo freetype harfbuzz fribidi giflib libwebp nettle libdeflate libmicrohttpd pixman cairo)
srcdir() { find "$W/src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -1; }
missing=()
for s in "${SOURCES[@]}"; do [ -n "$(srcdir "$s")" ] || missing+=("$s"); done
if [ ${#missing[@]} -gt 0 ]; then
  if ! apt-get source --print-uris zlib >/dev/null 2>&1; then
    say "adding Debian's source archive to apt"
    . /etc/os-release
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$VERSION_CODENAME" "$VERSION_CODENAME" >/etc/apt/sources.list.d/mirelune-src.sources
    apt-get update -qq
  fi
  say "fetching the sources of ${missing[*]}"
  for s in "${missing[@]}"; do
    (cd "$W/src" && apt-get source -qq "$s" >/dev/null 2>&1) && continue
    # pixman's source package is in the old format, a tarball and a diff, and
    # the archive does not always serve the diff (404): the tarball, which apt has
    # fetched and the package's .dsc names by its SHA-256, is then unpacked as it is.
    orig=$(ls "$W/src/$s"_*.orig.tar.* 2>/dev/null | head -1)
    if [ -z "$orig" ] || ! grep -q "$(sha256sum "$orig" | cut -d' ' -f1)" "$W/src/$s"_*.dsc; then
      say "cannot fetch the source of $s"; exit 1
    fi
    say "$s: Debian's diff is not to be had; building its upstream tarball $(basename "$orig")"
    tar -xf "$orig" -C "$W/src"
  done
fi

# built() NAME: whether its stamp is there; done_() NAME: sets it.
built() { [ -f "$P/.stamp-$1" ]; }
done_() { touch "$P/.stamp-$1"; say "$1 built"; }
autotools() {  # autotools DIR ARGS...: configure, make and install a static library, out of tree
  local name=$1 dir
  dir=$(srcdir "$1")
  shift
  rm -rf "$W/libs/$name" && mkdir -p "$W/libs/$name"
  (cd "$W/libs/$name" && "$dir/configure" --host=$HOST --prefix="$P" --disable-shared --enable-static "$@" \
     >configure.log 2>&1 || { tail -30 configure.log; exit 1; })
}
cmake_lib() {  # cmake_lib NAME SOURCE ARGS...
  local name=$1 dir=$2
  shift 2
  cmake -S "$dir" -B "$W/libs/$name" -G Ninja -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=AMD64 \
    -DCMAKE_C_COMPILER=$CC -DCMAKE_CXX_COMPILER=$CXX -DCMAKE_RC_COMPILER=$HOST-windres \
    -DCMAKE_FIND_ROOT_PATH="$P" -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$P" \
    -DBUILD_SHARED_LIBS=OFF "$@" >"$W/libs/$name.log" 2>&1 || { tail -30 "$W/libs/$name.log"; exit 1; }
  cmake --build "$W/libs/$name" -j$JOBS >>"$W/libs/$name.log" 2>&1 || { tail -30 "$W/libs/$name.log"; exit 1; }
  cmake --install "$W/libs/$name" >>"$W/libs/$name.log" 2>&1
}

if ! built zlib; then
  d=$(srcdir zlib)  # Debian's source has no Windows makefile: the library is its C files
  rm -rf "$W/libs/zlib" && mkdir -p "$W/libs/zlib"
  for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees uncompr zutil; do
    $CC -O2 -c "$d/$c.c" -o "$W/libs/zlib/$c.o"
  done
  rm -f "$P/lib/libz.a" && $AR rcs "$P/lib/libz.a" "$W/libs/zlib"/*.o
  install -m644 "$d/zlib.h" "$d/zconf.h" "$P/include/"
  v=$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$d/zlib.h")
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\nName: zlib\nDescription: zlib\nVersion: %s\nLibs: -L${libdir} -lz\nCflags: -I${includedir}\n' \
    "$P" "$v" >"$P/lib/pkgconfig/zlib.pc"
  done_ zlib
fi
if ! built png; then
  autotools libpng1.6
  make -C "$W/libs/libpng1.6" -j$JOBS install >/dev/null
  done_ png
fi
if ! built jpeg; then
  cmake_lib jpeg "$(srcdir libjpeg-turbo)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
  done_ jpeg
fi
if ! built freetype; then
  # As Debian builds it (debian/rules: no bzip2, no HarfBuzz), with zlib and libpng for the colour faces.
  autotools freetype --with-zlib=yes --with-png=yes --with-bzip2=no --with-harfbuzz=no --with-brotli=no --with-librsvg=no
  make -C "$W/libs/freetype" -j$JOBS >/dev/null && make -C "$W/libs/freetype" install >/dev/null
  done_ freetype
fi
if ! built harfbuzz; then
  # FreeType only: no GLib, ICU, Cairo or the Windows shapers; its own Unicode tables, as on Linux.
  autotools harfbuzz --with-freetype=yes --with-glib=no --with-gobject=no --with-cairo=no --with-icu=no \
    --with-graphite2=no --with-chafa=no --with-uniscribe=no --with-gdi=no --with-directwrite=no --disable-gtk-doc \
    --disable-introspection
  make -C "$W/libs/harfbuzz/src" -j$JOBS libharfbuzz.la >/dev/null
  make -C "$W/libs/harfbuzz/src" install-libLTLIBRARIES install-pkgincludeHEADERS install-nodist_pkgincludeHEADERS \
    install-pkgconfigDATA >/dev/null
  done_ harfbuzz
fi
if ! built fribidi; then
  autotools fribidi --disable-docs
  make -C "$W/libs/fribidi/gen.tab" -j$JOBS >/dev/null
  make -C "$W/libs/fribidi/lib" -j$JOBS install >/dev/null && make -C "$W/libs/fribidi" install-pkgconfigDATA >/dev/null
  # A static FriBidi on Windows must not declare its functions as imported from a DLL.
  sed -i 's|^Cflags: \(.*\)|Cflags: \1 -DFRIBIDI_LIB_STATIC|' "$P/lib/pkgconfig/fribidi.pc"
  done_ fribidi
fi
if ! built gif; then
  d=$(srcdir giflib)
  rm -rf "$W/libs/gif" && mkdir -p "$W/libs/gif"
  for c in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
    $CC -O2 -c "$d/$c.c" -o "$W/libs/gif/$c.o"
  done
  rm -f "$P/lib/libgif.a" && $AR rcs "$P/lib/libgif.a" "$W/libs/gif"/*.o
  install -m644 "$d/gif_lib.h" "$P/include/"
  done_ gif
fi
if ! built webp; then
  autotools libwebp --enable-libwebpmux --disable-libwebpdemux --disable-libwebpdecoder --disable-png --disable-jpeg \
    --disable-tiff --disable-gif --disable-wic --disable-gl --disable-sdl
  make -C "$W/libs/libwebp/sharpyuv" -j$JOBS install >/dev/null
  make -C "$W/libs/libwebp/src" -j$JOBS install >/dev/null
  done_ webp
fi
if ! built deflate; then
  # Its own makefile knows mingw-w64; only the static library is wanted, under the usual name.
  d=$(srcdir libdeflate)
  rm -rf "$W/libs/deflate" && cp -r "$d" "$W/libs/deflate"
  make -C "$W/libs/deflate" -j$JOBS CC=$CC AR=$AR libdeflatestatic.lib >"$W/libs/deflate.log" 2>&1 ||
    { tail -30 "$W/libs/deflate.log"; exit 1; }
  install -m644 "$W/libs/deflate/libdeflatestatic.lib" "$P/lib/libdeflate.a"
  install -m644 "$d/libdeflate.h" "$P/include/"
  v=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[^"]*"\(.*\)"/\1/p' "$d/libdeflate.h")
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\nName: libdeflate\nDescription: libdeflate\nVersion: %s\nLibs: -L${libdir} -ldeflate\nCflags: -I${includedir}\n' \
    "$P" "$v" >"$P/lib/pkgconfig/libdeflate.pc"
  done_ deflate
fi
if ! built nettle; then
  # SHA-256 only: no public-key part, so no GMP. Debian's patches leave configure.ac
  # newer than what autoconf made of it: the generated files are taken as current.
  d=$(srcdir nettle)
  touch "$d/aclocal.m4" && touch "$d/configure" "$d/config.h.in" && touch "$d/stamp-h.in"
  autotools nettle --disable-public-key --disable-documentation --disable-openssl --disable-assembler
  make -C "$W/libs/nettle" -j$JOBS libnettle.a >/dev/null
  make -C "$W/libs/nettle" install-headers install-static install-pkgconfig >/dev/null
  done_ nettle
fi
if ! built microhttpd; then
  # Plain HTTP (the service sits behind a proxy for HTTPS): no GnuTLS.
  autotools libmicrohttpd --disable-https --without-gnutls --disable-doc --disable-examples --disable-curl \
    --disable-tools
  make -C "$W/libs/libmicrohttpd/src/microhttpd" -j$JOBS install >/dev/null
  make -C "$W/libs/libmicrohttpd/src/include" install >/dev/null
  make -C "$W/libs/libmicrohttpd" install-pkgconfigDATA >/dev/null
  done_ microhttpd
fi
if ! built pixman; then
  autotools pixman --disable-gtk --disable-libpng --disable-openmp --disable-timers
  make -C "$W/libs/pixman/pixman" -j$JOBS install >/dev/null
  make -C "$W/libs/pixman" install-pkgconfigDATA >/dev/null
  done_ pixman
fi
if ! built cairo; then
  # The image surface alone, for the previews' filtered downscale: no fonts
  # (FreeType, fontconfig, Windows fonts), no X, no PNG, PDF, PS or SVG, no GLib.
  # Debian's patches leave build files newer than what was made of them, as with nettle.
  # On Windows its fopen takes UTF-16 names, whose converter 1.16 builds only with
  # the Windows fonts or PDF: asked for by name.
  d=$(srcdir cairo)
  touch "$d/aclocal.m4" && sleep 1 && touch "$d/configure" && find "$d" -name Makefile.in -exec touch {} + &&
    touch "$d/config.h.in"
  autotools cairo --disable-xlib --disable-xlib-xrender --disable-xcb --disable-xlib-xcb --disable-xcb-shm \
    --disable-win32 --disable-win32-font --disable-ft --disable-fc --disable-png --disable-ps --disable-pdf \
    --disable-svg --disable-script --disable-interpreter --disable-gobject --disable-trace --disable-symbol-lookup \
    --disable-tee --disable-xml --disable-gl --disable-egl --disable-glx --disable-wgl --disable-valgrind \
    --disable-full-testing --disable-gtk-doc CPPFLAGS="$CPPFLAGS -DCAIRO_HAS_UTF8_TO_UTF16=1"
  make -C "$W/libs/cairo/src" -j$JOBS install >/dev/null
  done_ cairo
fi
if ! built googletest; then
  cmake_lib googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=ON
  done_ googletest
fi
if ! built headers; then
  # Header-only: the same CLI11 and JSON as the Linux build.
  cp -r /usr/include/CLI /usr/include/nlohmann "$P/include/"
  done_ headers
fi
say "libraries ready in $P"
# Our own build takes its compilers and flags from the toolchain file alone.
unset CC CXX AR RANLIB CFLAGS CXXFLAGS CPPFLAGS LDFLAGS

# --- Mirelune ---
B=$W/mirelune
# The service on explicitly: a build folder from before it was part of the Windows build keeps OFF cached.
cmake -S "$ROOT" -B "$B" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DMIRELUNE_WIN_PREFIX="$P" \
  -DCMAKE_BUILD_TYPE=Release -DMIRELUNE_WERROR=ON -DMIRELUNE_BENCH=OFF -DMIRELUNE_SERVE=ON -DMIRELUNE_TESTS=$([ $TEST = 1 ] && echo ON || echo OFF) >/dev/null
cmake --build "$B" -j$JOBS
say "Mirelune built"

# --- the portable folder, the zip and the installer ---
VERSION=$(sed -n 's/^project(Mirelune VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
STAGE=$W/Mirelune
rm -rf "$STAGE" && mkdir -p "$STAGE/share/mirelune/fonts" "$STAGE/licences"
cp "$B"/mirelune-cli.exe "$B"/mirelune-serve.exe "$STAGE/"
[ -f "$B/mirelune.exe" ] && cp "$B/mirelune.exe" "$STAGE/"
$HOST-strip "$STAGE"/*.exe
cp "$ROOT/LICENSE" "$STAGE/LICENSE.txt"
# The faces the engine opens by path, in the tree it looks them up in, and their licences.
sed -n 's/.*{"\([a-z]*type\/[^"]*\)", [0-9]*, "\([^"]*\)"}.*/\1 \2/p' "$ROOT/src/text/faces.cpp" | sort -u | while read -r rel pkg; do
  if [ -f "/usr/share/fonts/$rel" ]; then
    mkdir -p "$STAGE/share/mirelune/fonts/$(dirname "$rel")"
    cp "/usr/share/fonts/$rel" "$STAGE/share/mirelune/fonts/$rel"
    cp "/usr/share/doc/$pkg/copyright" "$STAGE/licences/$pkg.txt"
  fi
done
# The libraries linked in, each with its Debian copyright file.
for s in "${SOURCES[@]}"; do
  c=$(srcdir "$s")/debian/copyright
  [ -f "$c" ] || c=$(srcdir "$s")/COPYING  # an upstream tarball alone (pixman, above)
  cp "$c" "$STAGE/licences/$s.txt"
done
sign() {  # sign FILE: with the key and certificate when given
  if [ -n "${MIRELUNE_SIGN_KEY:-}" ] && [ -n "${MIRELUNE_SIGN_CERT:-}" ]; then
    osslsigncode sign -certs "$MIRELUNE_SIGN_CERT" -key "$MIRELUNE_SIGN_KEY" -n Mirelune -i https://mirelune.art \
      -h sha256 -in "$1" -out "$1.signed" >/dev/null && mv "$1.signed" "$1"
    osslsigncode verify -CAfile "$MIRELUNE_SIGN_CERT" -in "$1" >/dev/null
    say "signed $(basename "$1")"
  fi
}
[ -n "${MIRELUNE_SIGN_KEY:-}" ] && [ -n "${MIRELUNE_SIGN_CERT:-}" ] ||
  say "MIRELUNE_SIGN_KEY and MIRELUNE_SIGN_CERT are not both set: nothing is signed"
for exe in "$STAGE"/*.exe; do sign "$exe"; done
ZIP=$W/mirelune-$VERSION-windows-x64.zip
rm -f "$ZIP" && (cd "$W" && zip -qr "$ZIP" Mirelune)
SETUP=$W/mirelune-setup-$VERSION.exe
makensis -V2 -DVERSION="$VERSION" -DSTAGE="$STAGE" -DOUTFILE="$SETUP" "$ROOT/packaging/windows/installer.nsi"
sign "$SETUP"
say "made $(basename "$SETUP") ($(du -h "$SETUP" | cut -f1)) and $(basename "$ZIP") ($(du -h "$ZIP" | cut -f1))"

[ $TEST = 1 ] || exit 0
bash "$ROOT/scripts/windows-check.sh"
say "all done"
