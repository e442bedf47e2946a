#!/usr/bin/env bash
# Runs a Windows test program under Wine (tools/wine-run.sh) beside the
# loopback servers of its network tests. The roots the tests need are made
# trusted in the Wine prefix first: a process trusts only the roots that its
# machine had when it started. The program learns of the servers through
# its environment:
#   BVL_TEST_HTTP_PORT    the project's test server (tools/test_http_server.py)
#   BVL_TEST_HTTPS_PORT   the same over TLS, its certificate issued for
#                         127.0.0.1 as an address and as a DNS name (Wine
#                         matches the name only against DNS names)
#   BVL_TEST_CLOSED_PORT  a loopback port where nothing listens
#   BVL_TEST_ROUTES       the routes file both servers read (a Unix path)
#   BVL_TEST_REQUEST_LOG  the request log both servers write (a Unix path)
#
# Usage: run-with-servers.sh [--trust CERTIFICATE.pem]... -- PROGRAM [ARGUMENTS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"

trusted=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case $1 in
    --trust) trusted+=("$2"); shift 2 ;;
    *) echo "usage: $0 [--trust CERTIFICATE.pem]... -- PROGRAM [ARGUMENTS...]" >&2; exit 2 ;;
  esac
done
shift

work=$(mktemp -d "${TMPDIR:-/tmp}/bvl-wine-servers.XXXXXX")
servers=()
own_prefix=""
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  [ -n "$own_prefix" ] && bash "$source_dir/tools/wine-prefix.sh" remove "$own_prefix"
  rm -rf "$work"
}
trap cleanup EXIT

# The prefix of the test run, or one of our own: the roots must go into the
# prefix the program runs in.
if [ -z "${WINEPREFIX:-}" ]; then
  source "$source_dir/tests/windows/run_prefix.sh"
  use_run_prefix "$work" || exit 1
fi
export WINEPREFIX

# The TLS server's certificate, under a CA of its own, with a name of its
# own: the prefix keeps trusting the CAs of earlier runs, and a chain is built
# by the issuer's name.
ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
printf 'subjectAltName=DNS:127.0.0.1,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
  > "$work/server.ext"
if ! { openssl req -x509 $ec -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 -subj "/CN=Bvl Wine Test CA $(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')" \
         -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign &&
       openssl req $ec -keyout "$work/server.key" -out "$work/server.csr" -subj /CN=127.0.0.1 &&
       openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
         -out "$work/server.pem" -days 2 -extfile "$work/server.ext"; } >/dev/null 2>&1; then
  echo "run-with-servers: openssl could not make the test certificates" >&2
  exit 1
fi
trusted+=("$work/ca.pem")

bash "$source_dir/tools/wine-trust-root.sh" "${trusted[@]}" || exit 1

echo '[]' > "$work/routes.json"
: > "$work/requests.jsonl"
start_server() {  # <port file> [TLS options]
  python3 "$source_dir/tools/test_http_server.py" --routes "$work/routes.json" --log "$work/requests.jsonl" "${@:2}" \
    > "$1" 2>/dev/null &
  servers+=($!)
  for _ in $(seq 100); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  echo "run-with-servers: the test server did not start" >&2
  exit 1
}
start_server "$work/http.port"
start_server "$work/https.port" --cert "$work/server.pem" --key "$work/server.key"

BVL_TEST_HTTP_PORT=$(head -1 "$work/http.port")
BVL_TEST_HTTPS_PORT=$(head -1 "$work/https.port")
BVL_TEST_CLOSED_PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
BVL_TEST_ROUTES="$work/routes.json"
BVL_TEST_REQUEST_LOG="$work/requests.jsonl"
export BVL_TEST_HTTP_PORT BVL_TEST_HTTPS_PORT BVL_TEST_CLOSED_PORT BVL_TEST_ROUTES BVL_TEST_REQUEST_LOG

bash "$source_dir/tools/wine-run.sh" "$@"
status=$?
exit $status
