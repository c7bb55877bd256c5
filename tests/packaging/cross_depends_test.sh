#!/usr/bin/env bash
# Checks the Depends of cross-built packages against the target's own
# packages, found by their files rather than by the symbols files that
# computed the Depends:
#   - every shared library that an ELF file of a package needs is shipped by
#     a package that its Depends names (or by one of the packages checked);
#   - every version it asks for is one that the target's package has.
#   cross_depends_test.sh ARCHIVES_DIR DEB...
# ARCHIVES_DIR holds the target's .deb files that the build was made against.
set -euo pipefail
archives=$1
shift

fail=0
problem() {
  echo "FAIL: $*" >&2
  fail=1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# soname -> package, from the file lists of the target's packages and of the
# packages under test; package -> version.
declare -A shipped_by version_of
for deb in "$archives"/*.deb "$@"; do
  { read -r _ package && read -r _ version; } < <(dpkg-deb -f "$deb" Package Version)
  version_of[$package]=$version
  while read -r name; do
    shipped_by[$name]=$package
  done < <(dpkg-deb -c "$deb" | awk '{print $6}' | sed -n 's|^\./\(usr/\)\{0,1\}lib/\(.*/\)\{0,1\}\([^/]*\.so\.[0-9.]*\)$|\3|p')
done

checked=0
for deb in "$@"; do
  package=$(dpkg-deb -f "$deb" Package)
  depends=$(dpkg-deb -f "$deb" Depends)
  # The package names of Depends, alternatives included.
  names=" $(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/:any//; s/ //g' | tr '\n' ' ') "
  rm -rf "${work:?}"/*
  dpkg-deb -x "$deb" "$work"
  while IFS= read -r -d '' file; do
    file -b "$file" | grep -q '^ELF' || continue
    for needed in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
      checked=$((checked + 1))
      owner=${shipped_by[$needed]:-}
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
      problem "$package: Depends on $name ($relation $wanted), which the target's packages do not hold"
    elif ! dpkg --compare-versions "$have" "$relation" "$wanted"; then
      problem "$package: Depends on $name ($relation $wanted), but the target has $have"
    fi
  done < <(tr ',|' '\n\n' <<<"$depends" | sed -n 's/^ *\([^ (]*\) *(\([<>=]*\) *\([^)]*\)).*$/\1 \2 \3/p')
done

((checked > 0)) || problem "no ELF file of the packages needs any library: nothing was checked"
((fail == 0)) || exit 1
echo "cross_depends_test: $checked needed libraries of $# packages are in their Depends"
