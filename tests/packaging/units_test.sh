#!/usr/bin/env bash
# The systemd units and the udev rule's systemd lines:
#   - both units pass systemd-analyze verify (with the built rdrconf-cli in
#     the place of the installed one);
#   - the system unit's exposure stays at 2.0 or lower, and so does the
#     user unit's (systemd-analyze security --offline=yes --threshold=20);
#   - the rule starts the apply unit for the reader's hidraw node alone:
#     only lines that match SUBSYSTEM=="hidraw" and the ids 1d57:ac08 may
#     tag a device for systemd or want a unit, and exactly one does.
#
# units_test.sh <packaging dir> <rdrconf-cli>
set -euo pipefail
packaging=$1
cli=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/rdrconf-units.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# A template is verified as an instance, under the instance's name.
sed "s|/usr/bin/rdrconf-cli|$cli|" "$packaging/rdrconf-apply@.service" >"$work/rdrconf-apply@hidraw0.service"
sed "s|/usr/bin/rdrconf-cli|$cli|" "$packaging/rdrconf-watch.service" >"$work/rdrconf-watch.service"
systemd-analyze verify --man=no "$work/rdrconf-apply@hidraw0.service" || fail "the apply unit does not verify"
# A user manager's paths need a runtime folder of its own.
mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR=$work/runtime systemd-analyze --user verify --man=no "$work/rdrconf-watch.service" ||
  fail "the watch unit does not verify"

systemd-analyze security --offline=yes --threshold=20 "$work/rdrconf-apply@hidraw0.service" >"$work/apply" ||
  { cat "$work/apply" >&2; fail "the apply unit's exposure is above 2.0"; }
XDG_RUNTIME_DIR=$work/runtime systemd-analyze security --user --offline=yes --threshold=20 \
  "$work/rdrconf-watch.service" >"$work/watch" ||
  { cat "$work/watch" >&2; fail "the watch unit's exposure is above 2.0"; }
echo "exposure: $(tail -n 1 "$work/apply")"
echo "exposure: $(tail -n 1 "$work/watch")"

rule=$packaging/70-rdrconf.rules
wanting=$(grep -E 'TAG\+="systemd"|SYSTEMD_WANTS' "$rule" | grep -v '^#' || true)
[[ $(wc -l <<<"$wanting") == 1 && -n $wanting ]] || fail "not exactly one rule line reaches systemd: $wanting"
for match in 'SUBSYSTEM=="hidraw"' 'ATTRS{idVendor}=="1d57"' 'ATTRS{idProduct}=="ac08"' 'TAG+="systemd"' \
  'ENV{SYSTEMD_WANTS}+="rdrconf-apply@%k.service"'; do
  [[ $wanting == *"$match"* ]] || fail "the systemd line lacks $match: $wanting"
done
[[ $wanting != *KERNEL==* && $wanting != *'SUBSYSTEM=="input"'* ]] || fail "the systemd line reaches other nodes"
echo "passed"
