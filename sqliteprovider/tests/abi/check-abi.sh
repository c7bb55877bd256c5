#!/usr/bin/env bash
# Compares a built libsqliteprovider with the ABI it was released with, the
# abidw corpus kept in the tree:
#   check-abi.sh BASELINE LIBRARY
# Added functions and variables
# pass, shown in abidiff's report. Any other change fails while the SONAME
# stays the same: abidiff calls a removed or renamed symbol incompatible,
# and leaves a changed type (a structure's layout, a parameter) to a person
# to judge; such a change is taken as a break until a person, having judged
# it harmless, writes a new baseline (README: "The library's ABI").
set -uo pipefail
baseline=$1
library=$2

# abidiff's status is a set of bits: 1 an error of its own, 2 a usage
# error, 4 a change of the ABI, 8 an incompatible one.
compare() {
  report=$(abidiff "$@" "$baseline" "$library" 2>&1)
  status=$?
  if ((status & 3)); then
    printf 'check-abi: abidiff could not compare %s with %s:\n%s\n' "$library" "$baseline" "$report" >&2
    exit 1
  fi
}

compare --no-added-syms
if ((status & 4)); then
  printf '%s\n' "$report" >&2
  echo "check-abi: FAIL: ${library##*/} changes the ABI of ${baseline##*/} beyond additions; a break needs a new SONAME" >&2
  exit 1
fi
compare
if ((status & 4)); then
  printf '%s\n' "$report"
  echo "check-abi: additions only; each added symbol goes into debian/libsqliteprovider1.symbols with the version that brings it"
  exit 0
fi
echo "check-abi: ${library##*/} has the ABI of ${baseline##*/}"
