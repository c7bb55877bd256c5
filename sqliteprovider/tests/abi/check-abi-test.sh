#!/usr/bin/env bash
# check-abi.sh judges abidiff's findings rightly (fixture.h has the four
# versions): the same library and one with an added function pass; one with
# a changed parameter type, and one whose structure grew, fail.
#   check-abi-test.sh CHECK_ABI LIBRARY_V1 LIBRARY_V2 LIBRARY_V3 LIBRARY_V4
set -uo pipefail
check=$1 v1=$2 v2=$3 v3=$4 v4=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
abidw --no-corpus-path --no-comp-dir-path --no-show-locs --out-file "$work/v1.abi" "$v1" ||
  { echo "FAIL: abidw on $v1" >&2; exit 1; }

fail=0
expect() {
  local wanted=$1 library=$2 status=0
  "$check" "$work/v1.abi" "$library" >"$work/out" 2>&1 || status=$?
  if { [[ $wanted == pass ]] && ((status != 0)); } || { [[ $wanted == fail ]] && ((status == 0)); }; then
    echo "FAIL: check-abi.sh should $wanted on ${library##*/}, said:" >&2
    cat "$work/out" >&2
    fail=1
  fi
}
expect pass "$v1"
expect fail "$v2"
expect fail "$v4"
expect pass "$v3"
grep -q "thrice" "$work/out" || { echo "FAIL: the added function is not in the report: $(cat "$work/out")" >&2; fail=1; }
((fail == 0)) && echo "check-abi-test: unchanged and added pass; a changed parameter and a grown structure fail"
exit $fail
