# Sourced by the tests that drive rdrconf.exe under wine with xdotool
# (gui_test.sh, msi_test.sh): finding its windows, giving them the focus,
# starting it and waiting for its end. The caller sets $exe (the program)
# and $work (its working folder, where its output and a failure's screen
# go).

fail() {
  local me
  me=$(basename "$0" .sh)
  echo "$me: $*" >&2
  import -window root "$work/failure.png" 2>/dev/null && echo "$me: the screen is in $work/failure.png" >&2
  [[ -n ${pid:-} ]] && kill "$pid" 2>/dev/null
  exit 1
}

# The id of the visible window whose title is exactly $1, once it is there.
window_named() {
  local pattern="^$1\$" id tries=0
  while ((tries++ < 150)); do
    id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1 || true)
    if [[ -n $id ]]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# Waits until the program shows a window without a title: its popup menu,
# or its message box (whose title is empty); at most $1 tries of 0.2 s.
untitled_window() {
  local id tries=0 most=${1:-150}
  while ((tries++ < most)); do
    for id in $(xdotool search --onlyvisible --class '^rdrconf\.exe$' 2>/dev/null || true); do
      [[ -z $(xdotool getwindowname "$id" 2>/dev/null) ]] && return 0
    done
    sleep 0.2
  done
  return 1
}

# Makes $1 the active window, so that keys reach it: through the window
# manager, else with a click on its title bar (on a loaded machine the
# first request can come before the window is ready for it).
activate() {
  local window=$1 tries=0
  while ((tries++ < 10)); do
    timeout 5 xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    [[ $(xdotool getactivewindow 2>/dev/null) == "$window" ]] && return 0
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + 8)) mousedown 1
    sleep 0.15
    xdotool mouseup 1
    sleep 0.3
    [[ $(xdotool getactivewindow 2>/dev/null) == "$window" ]] && return 0
  done
  return 1
}

start() {
  (cd "$work" && exec wine "$exe") >"$work/rdrconf.log" 2>&1 &
  pid=$!
}

wait_for_end() {
  local tries=0
  while kill -0 "$pid" 2>/dev/null; do
    ((tries++ < 150)) || fail "the program did not end when its window was closed"
    sleep 0.2
  done
  wait "$pid" || true
  pid=
}
