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
