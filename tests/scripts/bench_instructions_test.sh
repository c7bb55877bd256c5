#!/usr/bin/env bash
# scripts/bench-instructions against stand-ins for the build, the benchmark
# program, valgrind and callgrind_annotate, each as quick as a shell: the
# table comes out whole, or the script fails and names the row.
#   bench_instructions_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/build/bench"

# The packages are there (asking dpkg for each takes seconds on a busy
# machine), and the build has made bench_sqliteprovider below.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
printf 'install ok installed'
STUB
cat >"$work/bin/cmake" <<'STUB'
#!/bin/sh
exit 0
STUB
cat >"$work/build/bench/bench_sqliteprovider" <<'STUB'
#!/bin/sh
[ "$1" = --benchmark_list_tests ] && printf '%s\n' BM_Insert_CApi BM_Insert_Library BM_Scan_CApi BM_Scan_Library
exit 0
STUB
# Writes the benchmark's name as its "profile"; fails for $FAIL_RUN.
cat >"$work/bin/valgrind" <<'STUB'
#!/bin/bash
for argument; do
  case $argument in
    --callgrind-out-file=*) profile=${argument#*=} ;;
    --benchmark_filter=*) name=${argument#*=^} name=${name%\$} ;;
  esac
done
[[ $name == "${FAIL_RUN:-}" ]] && { echo "valgrind: the program crashed" >&2; exit 1; }
echo "$name" >"$profile"
STUB
# Annotates as callgrind_annotate does: the work's line (left out for
# $MISSING_WORK), then more lines than a pipe holds, so that a reader that
# stops early kills it with SIGPIPE as it kills the real one.
cat >"$work/bin/callgrind_annotate" <<'STUB'
#!/bin/bash
name=$(<"${@: -1}")
work=${name#BM_} verb=${work%%_*} work="${verb,}${work#*_}"
declare -A counts=([BM_Insert_CApi]=2,000,000 [BM_Insert_Library]=2,036,000 [BM_Scan_CApi]=1,000,000 [BM_Scan_Library]=1,040,000)
[[ $name == "${MISSING_WORK:-}" ]] || echo "${counts[$name]} (90.00%)  bench.cpp:(anonymous namespace)::$work(sqlite3*) [bench_sqliteprovider]"
yes '        1,000 ( 0.01%)  ???:a function of the engine [libsqlite3.so]' | head -c 1000000
STUB
chmod +x "$work/bin/"* "$work/build/bench/bench_sqliteprovider"

failures=0
# check CASE STATUS STDOUT PART_OF_STDERR ARGUMENT [VAR=VALUE...]: runs the
# script with ARGUMENT (none when empty) and the stand-ins' variables.
check() {
  local case=$1 status=$2 expected=$3 message=$4 argument=$5
  shift 5
  local actual=0
  env PATH="$work/bin:$PATH" RDRCONF_BENCH_BUILD_DIR="$work/build" "$@" \
    "$source_dir/scripts/bench-instructions" ${argument:+"$argument"} >"$work/stdout" 2>"$work/stderr" || actual=$?
  if [[ $actual != "$status" || $(<"$work/stdout") != "$expected" || $(<"$work/stderr") != *"$message"* ]]; then
    echo "FAIL $case: exit $actual (expected $status)"
    echo "--- stdout:"; cat "$work/stdout"
    echo "--- expected stdout:"; echo "$expected"
    echo "--- stderr (expected to hold '$message'):"; cat "$work/stderr"
    failures=$((failures + 1))
  fi
}

header=$(printf '%-24s %14s %8s' benchmark instructions ratio)
row() { printf '\n%-24s %14s %8s' "$@"; }
inserts="$(row BM_Insert_CApi 2000000 1.000)$(row BM_Insert_Library 2036000 1.018)"
scans="$(row BM_Scan_CApi 1000000 1.000)$(row BM_Scan_Library 1040000 1.040)"

check every-row 0 "$header$inserts$scans" "" ""
check filtered 0 "$header$scans" "" Scan
check nothing-matches 1 "" "no benchmark's name matches 'Nothing'" Nothing
check run-fails 1 "$header$(row BM_Insert_CApi 2000000 1.000)" \
  "BM_Insert_Library: the run under callgrind failed" "" FAIL_RUN=BM_Insert_Library
check work-not-counted 1 "$header$inserts" \
  "BM_Scan_CApi: callgrind counted no instructions in scanCApi" "" MISSING_WORK=BM_Scan_CApi

((failures == 0)) && echo "all cases passed"
exit $((failures > 0))
