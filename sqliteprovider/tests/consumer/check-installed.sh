#!/usr/bin/env bash
# Installs sqliteprovider from a build tree into a scratch prefix, then builds
# the consumer program against the installed files, once through the CMake
# package and once with the flags from pkg-config, and runs both.
#
#   check-installed.sh <build dir> <generator> <C++ compiler> <libdir> [<configuration>]
set -euo pipefail

build_dir=$1
generator=$2
cxx=$3
libdir=$4
config=${5:-}
here=$(cd "$(dirname "$0")" && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/sqliteprovider-install-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

config_args=()
[[ -n $config ]] && config_args=(--config "$config")
for component in sqliteprovider sqliteprovider-dev; do
  cmake --install "$build_dir" "${config_args[@]}" --prefix "$prefix" --component "$component"
done

for file in \
  "$libdir/libsqliteprovider.so.1.0.0" "$libdir/libsqliteprovider.so.1" "$libdir/libsqliteprovider.so" \
  include/sqliteprovider/{sqliteprovider,Export,Connection,Exception,Command,Parameter,DbType,DataReader,DataTable,Transaction}.h \
  "$libdir/cmake/sqliteprovider/sqliteproviderConfig.cmake" \
  "$libdir/cmake/sqliteprovider/sqliteproviderConfigVersion.cmake" \
  "$libdir/pkgconfig/sqliteprovider.pc"; do
  [[ -e $prefix/$file ]] || { echo "not installed: $file" >&2; exit 1; }
done
if grep -rq rdrconf "$prefix/$libdir/cmake/sqliteprovider"; then
  echo "the installed package refers to targets of the build tree" >&2
  exit 1
fi

# A Debug build of the library carries the address and undefined-behaviour
# sanitizers, whose runtimes must come first in a program that loads it: the
# consumer is built with the same flags.
sanitize=()
[[ $config == Debug ]] && sanitize=(-fsanitize=address,undefined)

cmake -S "$here" -B "$scratch/cmake-build" -G "$generator" \
  -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="${sanitize[*]}" \
  -DCMAKE_EXE_LINKER_FLAGS="${sanitize[*]}"
cmake --build "$scratch/cmake-build"

pc_flags=$(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs sqliteprovider)
# shellcheck disable=SC2086 # the flags are meant to split
"$cxx" -std=c++17 "${sanitize[@]}" "$here/main.cpp" -o "$scratch/pkg-config-consumer" $pc_flags

expected=$(printf '%s\n' "1: hello" "Exception: Connection[:memory:]: no such table: missing")
status=0
check_output() {
  if [[ $2 != "$expected" ]]; then
    printf '%s printed:\n%s\nexpected:\n%s\n' "$1" "$2" "$expected" >&2
    status=1
  fi
}
# The CMake build records where the library is; the pkg-config one does not.
check_output "CMake consumer" "$("$scratch/cmake-build/consumer")"
check_output "pkg-config consumer" "$(LD_LIBRARY_PATH="$prefix/$libdir" "$scratch/pkg-config-consumer")"
[[ $status == 0 ]] && echo "installed package: CMake and pkg-config consumers work"
exit $status
