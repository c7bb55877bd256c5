#!/usr/bin/env bash
# Makes a throw-away, self-signed code-signing certificate for the tests of
# the Windows build's signatures (scripts/test gives it to
# scripts/build-windows): in <folder>, certificate.pfx (with its key),
# password (the .pfx's password) and certificate.pem (what the signatures
# are checked against). Valid for two days; never for a release.
#   test-certificate.sh <folder>
set -euo pipefail
dir=$1
rm -rf "$dir" && mkdir -p "$dir"
(umask 077 && openssl rand -hex 24 >"$dir/password")
openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 2 -keyout "$dir/key.pem" -out "$dir/certificate.pem" \
  -subj "/CN=RDRCONF throw-away test certificate/O=RDRCONF maintainers" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/certificate.pem" -out "$dir/certificate.pfx" \
  -passout "file:$dir/password"
rm "$dir/key.pem"
