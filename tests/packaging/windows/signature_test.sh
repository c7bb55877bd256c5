#!/usr/bin/env bash
# Checks the Authenticode signatures that scripts/build-windows made:
#   1. each file's signature verifies against the given certificates
#      (osslsigncode verify -CAfile, and -TSA-CAfile for the time stamp),
#      with a SHA-256 digest; with --time-stamped, each carries a time
#      stamp whose signature verifies too;
#   2. a changed copy of each is refused: a byte of a program's code
#      flipped, a property of the MSI rewritten (msibuild). So the check
#      above is one that can fail.
# osslsigncode's whole report on each file is kept in the scratch folder.
#   signature_test.sh [--time-stamped] <certificates.pem> <scratch folder> <file>...
set -euo pipefail
time_stamped=no
if [[ ${1:-} == --time-stamped ]]; then
  time_stamped=yes
  shift
fi
ca=$1 work=$2
shift 2
rm -rf "$work" && mkdir -p "$work"
fail() { echo "signature_test: $*" >&2; exit 1; }

for file in "$@"; do
  name=$(basename "$file")
  report=$work/$name.verify.txt
  osslsigncode verify -CAfile "$ca" -TSA-CAfile "$ca" -in "$file" >"$report" 2>&1 ||
    fail "$name: the signature does not verify against $ca: $(tail -5 "$report")"
  grep -q '^Signature verification: ok' "$report" || fail "$name: osslsigncode said: $(tail -5 "$report")"
  grep -qi 'digest algorithm *: *sha256' "$report" || fail "$name: the digest is not SHA-256: $(grep -i 'digest algorithm' "$report")"
  stamp="no time stamp"
  if [[ $time_stamped == yes ]]; then
    grep -q '^Timestamp Server Signature verification: ok' "$report" ||
      fail "$name: no time stamp that verifies: $(grep -i timestamp "$report" | head -3)"
    stamp="time-stamped $(grep -m1 -i -E 'timestamp time:|signature is timestamped:' "$report" | sed 's/^[^:]*: *//')"
  fi

  changed=$work/changed-$name
  cp "$file" "$changed"
  if [[ $name == *.msi ]]; then
    msibuild "$changed" -q "UPDATE Property SET Value = 'RDRCONF changed' WHERE Property.Property = 'ProductName'"
  else
    # A byte in the middle of the file: inside the code, which the
    # signature's digest covers.
    size=$(stat -c %s "$changed")
    byte=$(od -An -tu1 -j $((size / 2)) -N1 "$changed" | tr -d ' ')
    printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of="$changed" bs=1 seek=$((size / 2)) conv=notrunc status=none
  fi
  cmp -s "$file" "$changed" && fail "$name: the copy was not changed"
  if osslsigncode verify -CAfile "$ca" -TSA-CAfile "$ca" -in "$changed" >"$work/changed-$name.verify.txt" 2>&1; then
    fail "$name: a changed copy verifies too"
  fi
  signer=$(grep -m1 'Subject:' "$report" | sed 's/^[[:space:]]*Subject: //')
  echo "signature_test: $name: SHA-256, signed by $signer, $stamp, verifies against $(basename "$ca"); a changed copy is refused"
done
