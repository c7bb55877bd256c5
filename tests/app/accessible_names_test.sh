#!/usr/bin/env bash
# The built rdrconf read as a screen reader reads it (accessible_names.py
# says what is checked): on an X display of its own (Xvfb), in a session bus
# of its own (dbus-run-session) that carries the accessibility bus, from a
# folder holding the shipped language files, with a home and a runtime
# folder of its own.
#   accessible_names_test.sh LANG_DIR PYTHON XVFB COMMAND...
set -euo pipefail
lang_dir=$1 python=$2 xvfb_program=$3
shift 3

work=$(mktemp -d)
xvfb=
cleanup() {
  if [[ -n $xvfb ]]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
cp "$lang_dir"/RDRCONF.*.ini "$work/"
mkdir "$work/home"
mkdir -m 700 "$work/runtime"

"$xvfb_program" -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 300); do
  [[ -s $work/display ]] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log" >&2; echo "FAIL: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
[[ -s $work/display ]] || { echo "FAIL: Xvfb did not report its display" >&2; exit 1; }

# Qt speaks AT-SPI only when asked to (a screen reader running), or always
# with QT_LINUX_ACCESSIBILITY_ALWAYS_ON. libxkbcommon-x11 trips
# AddressSanitizer's strict string checks (see window_title.sh).
export DISPLAY=":$(cat "$work/display")" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
  QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ASAN_OPTIONS=detect_stack_use_after_return=1
dbus-run-session -- "$python" "$(dirname "$0")/accessible_names.py" "$work" "$@"
