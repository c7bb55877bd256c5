#!/usr/bin/env bash
# The built rdrconf-cli as a user meets it.
#   program_test.sh CHECK PROGRAM COMPLETION GROFF MANUAL_PAGES...
#   help-without-display  --help works with no display at all
#   links-no-qt           the program loads no Qt library
#   completion            the bash completion offers commands, options and values
#   manual-pages          the manual pages format without a single warning
set -euo pipefail
check=$1 program=$2 completion=$3 groff=$4
shift 4

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

case $check in
  help-without-display)
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR QT_QPA_PLATFORM= "$program" --help) ||
      fail "--help exited with $?"
    [[ $help == *"Usage: rdrconf-cli [OPTIONS] SUBCOMMAND"* ]] || fail "no usage line in: $help"
    for command in set restore; do
      env -u DISPLAY -u WAYLAND_DISPLAY "$program" "$command" --help >/dev/null ||
        fail "$command --help exited with $?"
    done
    ;;
  links-no-qt)
    libraries=$(ldd "$program") || fail "ldd failed"
    if grep -qi 'libQt' <<<"$libraries"; then fail "rdrconf-cli loads Qt: $libraries"; fi
    ;;
  completion)
    # A stand-in for the installed program, for the reader paths.
    bin=$(mktemp -d)
    trap 'rm -rf "$bin"' EXIT
    cat >"$bin/rdrconf-cli" <<'STAND_IN'
#!/bin/sh
cat <<'JSON'
[
  {
    "index": 0,
    "path": "/dev/hidraw4",
    "serial": ""
  },
  {
    "path": "/dev/hidraw7"
  }
]
JSON
STAND_IN
    chmod +x "$bin/rdrconf-cli"
    PATH=$bin:$PATH
    # shellcheck source=/dev/null
    source "$completion"
    offers() { # offers "EXPECTED" WORD...: the completion of the last word
      COMP_WORDS=("$@")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      COMPREPLY=()
      _rdrconf_cli || true  # compgen fails when nothing matches
      local got="${COMPREPLY[*]}"
      [[ $got == "$expected" ]] || fail "completing '${COMP_WORDS[*]}': expected '$expected', got '$got'"
    }
    expected="set show" offers rdrconf-cli s
    expected="--mode" offers rdrconf-cli set --mo
    expected="--power-saving" offers rdrconf-cli set --format 1 --p
    expected="passive" offers rdrconf-cli set --mode p
    expected="on off" offers rdrconf-cli set --enter ""
    expected="ic id" offers rdrconf-cli set --card ""
    expected="8h 8h10d 8" offers rdrconf-cli set --format 8
    expected="/dev/hidraw4 /dev/hidraw7" offers rdrconf-cli restore --reader ""
    expected="--reader" offers rdrconf-cli show --r
    expected="" offers rdrconf-cli doctor --dry
    expected="--dry-run" offers rdrconf-cli restore --dr
    ;;
  manual-pages)
    (($# > 0)) || fail "no manual pages given"
    for page in "$@"; do
      warnings=$("$groff" -man -ww -z "$page" 2>&1) || fail "groff failed on $page"
      [[ -z $warnings ]] || fail "$page: $warnings"
    done
    ;;
  *) fail "unknown check $check" ;;
esac
