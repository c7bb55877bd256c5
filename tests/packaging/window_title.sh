# Sourced by the packaging tests: reads the title of the window an installed
# rdrconf shows on a virtual X display.
#
# The sourcing script sets: work (its scratch folder), command (the program),
# user_env (env arguments: the user's environment), XVFB and XWININFO, and
# may set run_as (a command that runs what follows as another user; the
# display's server runs as that user too).

xvfb_pid=
run_as=()

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

stop_xvfb() {
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  fi
}

# Sets "title" to the title of the window the command shows, started from the
# folder given first, with the env settings that follow. The window stays
# open, so the program is ended once its window has appeared.
window_title() {
  if [[ -z $xvfb_pid ]]; then
    "${run_as[@]}" "$XVFB" -displayfd 3 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 300); do
      [[ -s $work/display ]] && break
      kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
      sleep 0.1
    done
    [[ -s $work/display ]] || fail "Xvfb did not report its display"
  fi
  local display program folder=$1
  shift
  display=":$(cat "$work/display")"
  title=
  # libxkbcommon-x11 hands strndup a name that has no terminating zero, which
  # is allowed but trips AddressSanitizer's strict string checks. The
  # session bus named is not there: with none named, libdbus would start one
  # for the display (D-Bus autolaunch, on a machine with dbus-x11), which
  # writes ~/.dbus and outlives the program, and the check of what the
  # program itself writes into the home would see that.
  (cd "$folder" && exec "${run_as[@]}" env "${user_env[@]}" "$@" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus" \
    ASAN_OPTIONS=detect_stack_use_after_return=1 "$command") &
  program=$!
  # The title is read once the program's window is shown (viewable): the
  # program sets its texts before it shows the window, so a window that is
  # shown with another title is a fault of the program. Windows of the
  # program that are never shown (Qt makes a few) do not count.
  for _ in $(seq 300); do
    # A top-level window line reads: 0x200006 "title": ("rdrconf" "RDRCONF") ...
    for id in $(DISPLAY=$display "$XWININFO" -root -children |
      sed -n 's/^ *\(0x[0-9a-f]*\) .*("rdrconf" .*/\1/p'); do
      info=$(DISPLAY=$display "$XWININFO" -id "$id" 2>/dev/null) || continue
      if grep -q 'Map State: IsViewable' <<<"$info"; then
        title=$(sed -n 's/^xwininfo: Window id: 0x[0-9a-f]* "\(.*\)"$/\1/p' <<<"$info")
        break 2
      fi
    done
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
  done
  # The program may run as another user: it is ended through its parent.
  pkill -P "$program" 2>/dev/null || true
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  [[ -n $title ]] || fail "the installed rdrconf showed no window"
}

form_title() { sed -n 's/^form_title=//p' "$1"; }
