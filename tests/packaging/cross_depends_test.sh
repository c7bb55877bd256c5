#!/usr/bin/env bash
# Checks the Depends of cross-built packages against the target's own
# packages, found by their files rather than by the symbols files that
# computed the Depends:
#   - every shared library that an ELF file of a package needs is shipped by
#     a package that its Depends names (or by one of the packages checked);
#   - every version it asks for is one that the target's package has.
#   cross_depends_test.sh ROOT DEB...
# ROOT is the target's root that the build was made against (made by
# scripts/arm64-root): ROOT/DEBIAN/contents/<package> holds the package's
# version, then the files it unpacked.
set -euo pipefail
contents=$1/DEBIAN/contents
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
# shipped <package> <version>: reads the package's file list.
shipped() {
  version_of[$1]=$2
  while read -r name; do
    shipped_by[$name]=$1
  done < <(sed -n 's|^\./\(usr/\)\{0,1\}lib/\(.*/\)\{0,1\}\([^/]*\.so\.[0-9.]*\)$|\3|p')
}
[[ -d $contents ]] || { echo "FAIL: $contents: no file lists of the target's packages" >&2; exit 1; }
for list in "$contents"/*; do
  shipped "${list##*/}" "$(head -1 "$list")" < <(tail -n +2 "$list")
done
for deb in "$@"; do
  shipped "$(dpkg-deb -f "$deb" Package)" "$(dpkg-deb -f "$deb" Version)" < <(dpkg-deb -c "$deb" | awk '{print $6}')
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
