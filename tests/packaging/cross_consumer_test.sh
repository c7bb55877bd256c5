#!/usr/bin/env bash
# Installs the cross-built library packages in the build root (apt, beside
# the build machine's own packages) and builds a program of someone else's
# against them through their pkg-config file, with the cross compiler, then
# runs it under qemu-user with the installed library.
#   cross_consumer_test.sh CONSUMER_DIR libsqliteprovider1.deb libsqliteprovider-dev.deb
set -euo pipefail
consumer=$(realpath "$1")
shift
arch=$(dpkg-deb -f "$1" Architecture)
triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_GNU_TYPE 2>/dev/null)
cpu=$(dpkg-architecture -a"$arch" -qDEB_HOST_GNU_CPU 2>/dev/null)

debs=()
for deb in "$@"; do debs+=("$(realpath "$deb")"); done
apt-get install -y -qq --no-install-recommends "${debs[@]}" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
read -ra flags < <("$triplet-pkg-config" --cflags --libs sqliteprovider)
"$triplet-g++" -std=c++17 "$consumer/main.cpp" "${flags[@]}" -o "$work/consumer"
printed=$("qemu-$cpu-static" "$work/consumer")
expected=$(printf '%s\n' "1: hello" "Exception: Connection[:memory:]: no such table: missing")
if [[ $printed != "$expected" ]]; then
  printf 'FAIL: a program built against the %s library packages printed:\n%s\nexpected:\n%s\n' \
    "$arch" "$printed" "$expected" >&2
  exit 1
fi
echo "cross_consumer_test: a program built against libsqliteprovider-dev ($arch) runs with libsqliteprovider1"
