#!/usr/bin/env bash
# Makes a throw-away, self-signed code-signing certificate for the tests of
# the Windows build's signatures (scripts/test gives it to
# scripts/build-windows): in <folder>, certificate.pfx (with its key),
# password (the .pfx's password), and a time-stamping certificate with its
# key, tsa.pem and tsa.key, for time-stamp-authority.py; trusted.pem holds
# both certificates, what the signatures and time stamps are checked
# against. Valid for two days; never for a release.
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
openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 2 -keyout "$dir/tsa.key" -out "$dir/tsa.pem" \
  -subj "/CN=RDRCONF throw-away time-stamping certificate/O=RDRCONF maintainers" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=critical,timeStamping" 2>/dev/null
cat "$dir/certificate.pem" "$dir/tsa.pem" >"$dir/trusted.pem"
