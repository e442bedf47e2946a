#!/usr/bin/env bash
# Installs every Debian package the installer, its tests, benchmarks, fuzz
# targets (clang, its libFuzzer and sanitizer runtimes, llvm-symbolizer) and
# demo need.
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
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The wizard's Korean font family resolves to fonts-nanum.
alias_conf=$(dirname "$0")/fontconfig/61-bvl-malgun-gothic.conf
if ! cmp -s "$alias_conf" /etc/fonts/conf.d/61-bvl-malgun-gothic.conf; then
  install -m 644 "$alias_conf" /etc/fonts/conf.d/61-bvl-malgun-gothic.conf
  fc-cache -f >/dev/null
fi
