#!/usr/bin/env bash
# Checks the Depends of cross-built packages against the host architecture's
# packages installed beside them (in the build root, by apt-get build-dep),
# found by their files rather than by the symbols files that computed the
# Depends:
#   - every shared library that an ELF file of a package needs is shipped by
#     a package that its Depends names (or by one of the packages checked);
#   - every version it asks for is one that the installed package has.
#   cross_depends_test.sh DEB...
set -euo pipefail

fail=0
problem() {
  echo "FAIL: $*" >&2
  fail=1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# package -> version, for the installed packages and those under test.
declare -A version_of shipped_by
while read -r package version; do
  version_of[$package]=$version
done < <(dpkg-query -W -f '${db:Status-Abbrev} ${Package} ${Version}\n' | awk '$1 == "ii" {print $2, $3}')
# soname -> package, for the libraries of the packages under test.
arch=$(dpkg-deb -f "$1" Architecture)
for deb in "$@"; do
  package=$(dpkg-deb -f "$deb" Package)
  version_of[$package]=$(dpkg-deb -f "$deb" Version)
  while read -r name; do
    shipped_by[$name]=$package
  done < <(dpkg-deb -c "$deb" | awk '{print $6}' | sed -n 's|^\./\(usr/\)\{0,1\}lib/\(.*/\)\{0,1\}\([^/]*\.so\.[0-9.]*\)$|\3|p')
done
# The installed package of the packages' architecture that ships a library
# (another architecture's has the same name).
owner() {
  [[ -n ${shipped_by[$1]:-} ]] || shipped_by[$1]=$(dpkg-query -S "*/$1" 2>/dev/null |
    sed -n "s|^\([^:]*\):$arch: /\(usr/\)\{0,1\}lib/\(.*/\)\{0,1\}$1\$|\1|p" | head -n 1)
  owner=${shipped_by[$1]}
}

checked=0
for deb in "$@"; do
  package=$(dpkg-deb -f "$deb" Package)
  depends=$(dpkg-deb -f "$deb" Depends)
  # The package names of Depends, alternatives included.
  names=" $(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/:any//; s/ //g' | tr '\n' ' ') "
  rm -rf "${work:?}"/*
  dpkg-deb -x "$deb" "$work"
  while IFS= read -r -d '' file; do
    readelf -h "$file" >/dev/null 2>&1 || continue
    # Debugging symbols are ELF files without a dynamic section.
    for needed in $(readelf -d "$file" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
      checked=$((checked + 1))
      owner "$needed"
      if [[ -z $owner ]]; then
        problem "$package: ${file#"$work"} needs $needed, which no package ships"
      elif [[ $owner != "$package" && $names != *" $owner "* ]]; then
        problem "$package: ${file#"$work"} needs $needed from $owner, which Depends does not name: $depends"
      fi
    done
  done < <(find "$work" -type f -print0)

  # Each versioned dependency is met by the target's package.
  while read -r name relation wanted; do
    have=${version_of[$name]:-}
    if [[ -z $have ]]; then
      problem "$package: Depends on $name ($relation $wanted), which is not installed here"
    elif ! dpkg --compare-versions "$have" "$relation" "$wanted"; then
      problem "$package: Depends on $name ($relation $wanted), but $have is installed"
    fi
  done < <(tr ',|' '\n\n' <<<"$depends" | sed -n 's/^ *\([^ (]*\) *(\([<>=]*\) *\([^)]*\)).*$/\1 \2 \3/p')
done

((checked > 0)) || problem "no ELF file of the packages needs any library: nothing was checked"
((fail == 0)) || exit 1
echo "cross_depends_test: $checked needed libraries of $# packages are in their Depends"
