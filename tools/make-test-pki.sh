#!/usr/bin/env bash
# Generates the test code-signing PKI into a folder: a trusted root, the
# third-party component issuer and another issuer under it with a signer each,
# an untrusted root with its own signer, a signer under the third-party
# issuer whose certificate may only authenticate servers (not sign code), and
# a code signer under an issuer that may itself only serve server
# authentication. Idempotent; safe to run from several processes at once
# (they serialise on a lock in the folder).
#
# Usage: make-test-pki.sh <folder>
#
# Files written (all PEM):
#   trusted-roots.pem                 the bundle a machine trusts (the test root only)
#   root.crt / root.key               "Brimvale Test Root"
#   thirdparty-ca.crt / .key          "Microsoft Windows Third Party Component CA 2014"
#   other-ca.crt / .key               "Brimvale Other Issuer CA"
#   untrusted-root.crt / .key         "Brimvale Untrusted Root"
#   serverauth-ca.crt / .key          "Brimvale Server Authentication CA" (extended key usage serverAuth)
#   <signer>.crt / <signer>.key       signers: thirdparty, other, untrusted, serverauth, underserverca
#   <signer>-chain.pem                signer certificate and its issuers, for osslsigncode -certs
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <folder>" >&2
  exit 2
fi
dir=$1
command -v openssl >/dev/null || { echo "make-test-pki: openssl is not installed" >&2; exit 1; }
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

exec 9>"$dir/.lock"
if command -v flock >/dev/null; then flock 9; fi

# A folder made before the last signer was added is made again.
if [ -f "$dir/complete" ] && [ -f "$dir/underserverca-chain.pem" ]; then
  exit 0
fi

work=$(mktemp -d "$dir/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

days=3650

cat > ext.cnf <<'EOF'
[ca]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always

[issuer]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always

[serverauth-issuer]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always

[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always

[serverauth]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
EOF

key() {
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null
}

# issue <name> <subject> <issuer-name> <extension-section>
issue() {
  key "$1"
  openssl req -new -key "$1.key" -subj "$2" -out "$1.csr"
  openssl x509 -req -in "$1.csr" -CA "$3.crt" -CAkey "$3.key" -set_serial "0x$(openssl rand -hex 8)" \
    -days "$days" -sha256 -extfile ext.cnf -extensions "$4" -out "$1.crt" 2>/dev/null
  rm -f "$1.csr"
}

# Roots are self-issued through the same path so they get the CA extensions.
selfsigned() {
  key "$1"
  openssl req -new -key "$1.key" -subj "$2" -out "$1.csr"
  openssl x509 -req -in "$1.csr" -signkey "$1.key" -set_serial "0x$(openssl rand -hex 8)" \
    -days "$days" -sha256 -extfile ext.cnf -extensions ca -out "$1.crt" 2>/dev/null
  rm -f "$1.csr"
}

selfsigned root "/O=Brimvale/CN=Brimvale Test Root"
issue thirdparty-ca "/C=US/O=Microsoft Corporation/CN=Microsoft Windows Third Party Component CA 2014" root issuer
issue other-ca "/O=Brimvale/CN=Brimvale Other Issuer CA" root issuer
selfsigned untrusted-root "/O=Brimvale/CN=Brimvale Untrusted Root"
issue serverauth-ca "/O=Brimvale/CN=Brimvale Server Authentication CA" root serverauth-issuer

issue thirdparty "/O=Brimvale/CN=Brimvale Test Signer" thirdparty-ca signer
issue other "/O=Brimvale/CN=Brimvale Other Signer" other-ca signer
issue untrusted "/O=Brimvale/CN=Brimvale Untrusted Signer" untrusted-root signer
issue serverauth "/O=Brimvale/CN=Brimvale Server Authentication Signer" thirdparty-ca serverauth
issue underserverca "/O=Brimvale/CN=Brimvale Signer Under A Server CA" serverauth-ca signer

cat thirdparty.crt thirdparty-ca.crt root.crt > thirdparty-chain.pem
cat other.crt other-ca.crt root.crt > other-chain.pem
cat untrusted.crt untrusted-root.crt > untrusted-chain.pem
cat serverauth.crt thirdparty-ca.crt root.crt > serverauth-chain.pem
cat underserverca.crt serverauth-ca.crt root.crt > underserverca-chain.pem
cp root.crt trusted-roots.pem

rm -f ext.cnf
rm -f "$dir/complete"
mv -f ./* "$dir"/
touch "$dir/complete"
