#!/usr/bin/env bash
# Signs a PE file with a signer of the test PKI (see make-test-pki.sh), with
# osslsigncode; optionally adds a nested signature by a second signer.
#
# Usage: sign-test-pe.sh <pki-dir> <signer: thirdparty|other|untrusted|serverauth|underserverca> <sha1|sha256> <in> <out>
#                        [--nest <signer> <sha1|sha256>]
set -euo pipefail

usage() {
  echo "usage: $0 <pki-dir> <thirdparty|other|untrusted|serverauth|underserverca> <sha1|sha256> <in> <out> [--nest <signer> <hash>]" >&2
  exit 2
}

[ $# -eq 5 ] || [ $# -eq 8 ] || usage
pki=$1 signer=$2 hash=$3 in=$4 out=$5
nest_signer="" nest_hash=""
if [ $# -eq 8 ]; then
  [ "$6" = "--nest" ] || usage
  nest_signer=$7 nest_hash=$8
fi

command -v osslsigncode >/dev/null || { echo "sign-test-pe: osslsigncode is not installed" >&2; exit 1; }

check_signer() {
  case $1 in thirdparty|other|untrusted|serverauth|underserverca) ;; *) echo "sign-test-pe: unknown signer $1" >&2; exit 2 ;; esac
  [ -f "$pki/$1.key" ] && [ -f "$pki/$1-chain.pem" ] ||
    { echo "sign-test-pe: $pki holds no signer $1 (run make-test-pki.sh)" >&2; exit 1; }
}
check_hash() {
  case $1 in sha1|sha256) ;; *) echo "sign-test-pe: unknown hash $1" >&2; exit 2 ;; esac
}
check_signer "$signer"
check_hash "$hash"
if [ -n "$nest_signer" ]; then
  check_signer "$nest_signer"
  check_hash "$nest_hash"
fi

# osslsigncode refuses to overwrite; sign into a temporary file next to the output.
tmp=$(mktemp "$out.XXXXXX")
tmp2=$(mktemp "$out.XXXXXX")
trap 'rm -f "$tmp" "$tmp2"' EXIT
rm -f "$tmp" "$tmp2"

sign() {  # <signer> <hash> <in> <out> [extra options]
  local who=$1 digest=$2 from=$3 to=$4
  shift 4
  if ! log=$(osslsigncode sign "$@" -certs "$pki/$who-chain.pem" -key "$pki/$who.key" -h "$digest" \
               -n "Brimvale test program" -in "$from" -out "$to" 2>&1); then
    echo "sign-test-pe: osslsigncode failed: $log" >&2
    exit 1
  fi
}

sign "$signer" "$hash" "$in" "$tmp"
if [ -n "$nest_signer" ]; then
  sign "$nest_signer" "$nest_hash" "$tmp" "$tmp2" -nest
  mv -f "$tmp2" "$out"
else
  mv -f "$tmp" "$out"
fi
