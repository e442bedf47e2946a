#!/usr/bin/env bash
# Makes certificates (PEM) trusted roots of the Wine prefix $WINEPREFIX. A
# root the machine trusts is a value "Blob" under the root store's key, named
# by the certificate's SHA-1 thumbprint: the certificate as a serialized
# property (id 0x20, the encoded certificate). The key is shared by both
# registry views, so 32-bit programs see it too. A process trusts only the
# roots its machine had when it started.
#   wine-trust-root.sh CERTIFICATE.pem...
set -uo pipefail
[ -n "${WINEPREFIX:-}" ] || { echo "wine-trust-root: WINEPREFIX is not set" >&2; exit 2; }
for certificate in "$@"; do
  der=$(openssl x509 -in "$certificate" -outform DER | od -An -v -tx1 | tr -d ' \n')
  thumbprint=$(openssl x509 -in "$certificate" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
  length=$(( ${#der} / 2 ))
  le_length=$(printf '%02x%02x%02x%02x' $((length & 255)) $(((length >> 8) & 255)) $(((length >> 16) & 255)) 0)
  key="HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumbprint"
  if [ -z "$der" ] || ! WINEDEBUG=-all timeout 60 wine reg add "$key" /v Blob /t REG_BINARY \
       /d "2000000001000000$le_length$der" /f >/dev/null 2>&1; then
    echo "wine-trust-root: cannot trust $certificate in $WINEPREFIX" >&2
    exit 1
  fi
done
