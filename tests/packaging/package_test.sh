#!/usr/bin/env bash
# Builds the Debian packages with scripts/package (dpkg-buildpackage, then
# lintian, desktop-file-validate and appstreamcli, which must find nothing to
# say), installs all three on this machine and uses them as a user would:
#   - rdrconf, started from / by a user who is not root, shows the Chinese
#     title and writes nothing into the user's home on its way;
#   - rdrconf-cli --version and rdrconf-cli list work for that user;
#   - a program outside the project builds against libsqliteprovider-dev,
#     once through find_package and once through pkg-config, runs, and would
#     depend on libsqliteprovider1 (>= 1.0);
# then purges the packages and finds no file left of them outside the
# user's own folders.
#
# package_test.sh <source dir> <build dir> <consumer source dir>
#
# The tests are not run again inside the package build: the test run that
# runs this test runs them (DEB_BUILD_OPTIONS=nocheck).
# Needs root (it installs packages); exits 77 (skipped) otherwise, or when
# the packages are already installed here. The environment gives XVFB and
# XWININFO.
set -euo pipefail
source "$(dirname "$0")/window_title.sh"

source_dir=$1
build_dir=$2
consumer=$3
packages=(rdrconf libsqliteprovider1 libsqliteprovider-dev)

if ((EUID != 0)); then
  echo "skipped: installing packages needs root"
  exit 77
fi
for package in "${packages[@]}"; do
  if dpkg-query -W -f '${Status}' "$package" 2>/dev/null | grep -q ' installed$'; then
    echo "skipped: $package is installed on this machine already"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/rdrconf-package.XXXXXX")
chmod 755 "$work"
user=rdrconf-test-$$
installed=
cleanup() {
  stop_xvfb
  if [[ -n $installed ]]; then
    apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true
  fi
  if id "$user" >/dev/null 2>&1; then
    pkill -u "$user" 2>/dev/null || true
    userdel -r "$user" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# What exists before the installation, to compare with what is left after
# the purge. dpkg's and apt's own books change with every installation.
snapshot() {
  find /usr /etc /var /opt -xdev \( -path /var/lib/dpkg -o -path /var/cache -o -path /var/log \
    -o -path /var/lib/apt -o -path /var/tmp -o -path /var/lib/systemd \) -prune -o -print | sort
}
# The user exists before the snapshot: its own entries are not the packages'.
useradd --create-home --user-group --shell /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
installed_packages() { dpkg-query -W -f '${db:Status-Abbrev}${Package}\n' | sed -n 's/^ii *//p' | sort; }
snapshot >"$work/before"
installed_packages >"$work/packages-before"

echo "== scripts/package"
DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" "$source_dir/scripts/package" --out "$build_dir" \
  >"$work/debs" 2>"$work/package.log" || { cat "$work/package.log" >&2; fail "scripts/package"; }
mapfile -t debs <"$work/debs"
for deb in "${debs[@]}"; do
  [[ -f $deb ]] || fail "scripts/package made no $deb"
done

echo "== apt-get install ${debs[*]##*/}"
installed=1
apt-get install -y -qq --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get install"; }
dpkg -L "${packages[@]}" | sort -u >"$work/owned"
# Everything else the packages need is there already, so the purge can
# bring the system back to what it was.
new=$(installed_packages | comm -13 "$work/packages-before" - | tr '\n' ' ')
[[ $new == "libsqliteprovider-dev libsqliteprovider1 rdrconf " ]] || fail "apt-get installed: $new"

echo "== rdrconf from / as user $user"
run_as=(runuser -u "$user" --)
command=/usr/bin/rdrconf
runtime=$work/runtime
install -d -m 700 -o "$user" "$runtime"
user_env=(-i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 USER="$user" XDG_RUNTIME_DIR="$runtime")
window_title /
[[ $title == "$(form_title /usr/share/rdrconf/RDRCONF.zh-CN.ini)" ]] ||
  fail "window title \"$title\" is not the Chinese one"
written=$(find "$home" -mindepth 1 ! -name '.*rc' ! -name '.profile' ! -name '.bash_logout' -print)
[[ -z $written ]] || fail "the start wrote into the user's home: $written"

echo "== rdrconf-cli --version and list"
version=$(cd / && "${run_as[@]}" env "${user_env[@]}" rdrconf-cli --version) || fail "rdrconf-cli --version"
[[ $version == *1.0.0.1* ]] || fail "rdrconf-cli --version printed \"$version\""
status=0
(cd / && "${run_as[@]}" env "${user_env[@]}" rdrconf-cli list) >"$work/list.out" 2>"$work/list.err" || status=$?
((status == 0)) || fail "rdrconf-cli list ended with $status: $(cat "$work/list.err")"

echo "== a consumer of libsqliteprovider-dev"
cp -r "$consumer" "$work/consumer"
chown -R "$user:" "$work/consumer"
as_user() { (cd "$work/consumer" && "${run_as[@]}" env "${user_env[@]}" "$@"); }
as_user cmake -S . -B build -G Ninja >"$work/consumer.log" 2>&1 &&
  as_user cmake --build build >>"$work/consumer.log" 2>&1 ||
  { cat "$work/consumer.log" >&2; fail "find_package(sqliteprovider) consumer"; }
# shellcheck disable=SC2046 # the flags are meant to split
as_user c++ -std=c++17 main.cpp -o pkg-config-consumer $(pkg-config --cflags --libs sqliteprovider) ||
  fail "pkg-config consumer"
flags=$(pkg-config --cflags --libs sqliteprovider | xargs)
[[ $flags == "-lsqliteprovider" ]] || fail "pkg-config's flags are not canonical: $flags"
expected=$(printf '%s\n' "1: hello" "Exception: Connection[:memory:]: no such table: missing")
for program in build/consumer pkg-config-consumer; do
  output=$(as_user "./$program") || fail "$program ended with $?"
  [[ $output == "$expected" ]] || fail "$program printed: $output"
done
# As in the consumer's own package, where dpkg-shlibdeps looks at it.
mkdir -p "$work/consumer/debian/consumer/usr/bin"
cp "$work/consumer/pkg-config-consumer" "$work/consumer/debian/consumer/usr/bin/"
printf 'Source: consumer\n\nPackage: consumer\nArchitecture: any\n' >"$work/consumer/debian/control"
depends=$(cd "$work/consumer" && dpkg-shlibdeps -O debian/consumer/usr/bin/pkg-config-consumer)
[[ $depends == *"libsqliteprovider1 (>= 1.0)"* ]] || fail "a consumer would depend on: $depends"

echo "== apt-get purge"
apt-get purge -y -qq "${packages[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "apt-get purge"; }
installed=
left=$(while read -r path; do if [[ -e $path && ! -d $path ]]; then echo "$path"; fi; done <"$work/owned")
[[ -z $left ]] || fail "left after the purge: $left"
# The user's folders are the user's own; everything else is as it was.
snapshot >"$work/after"
changed=$(comm -3 "$work/before" "$work/after")
[[ -z $changed ]] || fail "the system differs after the purge: $changed"
echo "passed: built, installed, used and purged the packages"
