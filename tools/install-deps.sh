#!/usr/bin/env bash
# Installs every Debian package the installer, its tests, benchmarks, fuzz
# targets (clang, its libFuzzer and sanitizer runtimes, llvm-symbolizer) and
# demo need, and the Windows build's: the mingw-w64 cross compilers (posix
# thread model), zlib and libgcrypt built for Windows, and Wine with its
# 32-bit half (the installer is a 32-bit program), which needs the i386
# architecture.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev nlohmann-json3-dev libssl-dev libboost-system-dev
  qt6-base-dev fonts-nanum fontconfig
  libgtest-dev libgmock-dev googletest
  nginx osslsigncode liblnk-utils xvfb xdotool lldb imagemagick
  python3 curl unzip zip time openssl
  clang libclang-rt-dev llvm
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  libz-mingw-w64-dev libgcrypt-mingw-w64-dev wine wine64 wine32:i386
  # The Windows wizard under Wine: Direct2D draws through wined3d and
  # OpenGL (Mesa's software renderer, for the 32-bit program too); the
  # Korean locale (below) comes from locales.
  libgl1-mesa-dri libglx-mesa0 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386 locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The wizard's Korean font family resolves to fonts-nanum.
alias_conf=$(dirname "$0")/fontconfig/61-bvl-malgun-gothic.conf
if ! cmp -s "$alias_conf" /etc/fonts/conf.d/61-bvl-malgun-gothic.conf; then
  install -m 644 "$alias_conf" /etc/fonts/conf.d/61-bvl-malgun-gothic.conf
  fc-cache -f >/dev/null
fi

# The Korean user locale of the Windows wizard's Wine programs
# (LC_ALL=ko_KR.UTF-8: code page 949). Wine takes the code page from the
# locale's name alone, but X11 window titles need the locale itself: without
# it Wine writes a window's WM_NAME as question marks, and xdotool searches
# that property.
if ! locale -a 2>/dev/null | grep -qix 'ko_KR\.utf-\?8'; then
  sed -i 's/^# *\(ko_KR\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -qx 'ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
