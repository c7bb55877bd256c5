#!/usr/bin/env bash
# The built rdrconf as a machine without a display starts it: offscreen,
# from a folder holding the shipped language files, ended as soon as its
# window is shown. Its window log says which window was shown with which
# title: Chinese on a first start, English once English is chosen. In a
# cross build the command is the emulator with the program.
#   window_shown_test.sh LANG_DIR COMMAND...
set -euo pipefail
lang_dir=$1
shift

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$lang_dir"/RDRCONF.*.ini "$work/"
mkdir "$work/home"

# shown_title: runs the program in $work and prints the title of the window
# it showed.
shown_title() {
  local log status=0
  log=$(cd "$work" && env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_DATA_HOME="$work/home/.local/share" QT_QPA_PLATFORM=offscreen RDRCONF_QUIT_WHEN_SHOWN=1 \
    QT_LOGGING_RULES="rdrconf.windows.info=true" QT_MESSAGE_PATTERN="%{category}: %{message}" timeout 120 "$@" 2>&1) || status=$?
  ((status == 0)) || fail "rdrconf exited with $status: $log"
  sed -n 's/^rdrconf\.windows: shown: //p' <<<"$log" | head -1
}

form_title() { sed -n 's/^form_title=//p' "$work/RDRCONF.$1.ini"; }

title=$(shown_title "$@")
[[ -n $title ]] || fail "rdrconf showed no window"
[[ $title == "$(form_title zh-CN)" ]] || fail "first start: title \"$title\", expected \"$(form_title zh-CN)\""
[[ ! -e $work/RDRCONF.config ]] || fail "a first start wrote a language choice"

printf '[config]\nlanguage=en-US\n' >"$work/RDRCONF.config"
title=$(shown_title "$@")
[[ $title == "$(form_title en-US)" ]] || fail "English chosen: title \"$title\", expected \"$(form_title en-US)\""
