#!/usr/bin/env bash
# Installs everything Mirelune needs to build, test and run on Debian (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
# postfix for the mail tests, which start a private instance of their own: preseeded
# to "No configuration", it neither prompts nor sets up a system mail server.
echo "postfix postfix/main_mailer_type select No configuration" | $SUDO debconf-set-selections
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake pkg-config git \
  libfreetype-dev libfontconfig-dev libharfbuzz-dev libfribidi-dev fonts-liberation fonts-dejavu-core \
  fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji fonts-arphic-uming \
  libpng-dev libdeflate-dev libjpeg-dev libgif-dev libcurl4-openssl-dev ca-certificates \
  libgtest-dev libgmock-dev libbenchmark-dev libcairo2-dev nettle-dev libcli11-dev nlohmann-json3-dev \
  qt6-base-dev libgl-dev \
  xvfb xauth xdotool x11-utils imagemagick \
  python3 python3-aiosmtpd xdg-utils openssl postfix \
  clang libclang-rt-14-dev dpkg-dev lintian desktop-file-utils man-db \
  parallel slurm-wlm munge >/dev/null
# The window's translations (Qt's linguist tools) and, for its dark screenshot,
# a Qt platform theme that reads a colour scheme; xclip reads its clipboard.
$SUDO apt-get install -y -qq --no-install-recommends qt6-tools-dev qt6-l10n-tools qt6ct xclip >/dev/null
# `serve`: the HTTP library, and the browser, driver, proxy and load generator its tests use.
$SUDO apt-get install -y -qq --no-install-recommends \
  libmicrohttpd-dev libwebp-dev webp chromium chromium-driver python3-selenium nginx wrk >/dev/null
# gettext makes the command line's catalogues; a German locale lets the tests run
# it as a German user would (the catalogue alone is tested under C.UTF-8);
# appstream and bash-completion check the metainfo and completions of the package.
$SUDO apt-get install -y -qq --no-install-recommends gettext locales appstream bash-completion >/dev/null
# pdfinfo and pdftoppm read the printed page in its tests.
$SUDO apt-get install -y -qq --no-install-recommends poppler-utils >/dev/null
locale -a | grep -qx 'de_DE.utf8' || $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
# The Windows build: the cross compilers, wine for its checks, NSIS and osslsigncode for the
# installer, zip for the portable copy (scripts/windows.sh fetches the libraries' sources).
$SUDO apt-get install -y -qq --no-install-recommends mingw-w64 wine wine64 nsis osslsigncode nasm zip >/dev/null
