#!/usr/bin/env bash
# The Windows program as a person uses it, under wine on the X display of
# the session (scripts/wine-session: Xvfb, openbox, the prepared prefix):
#   1. rdrconf.exe starts in a folder that holds the shipped language files
#      and no choice: its window's title is the Chinese one;
#   2. Alt+Space opens its system menu, Up goes to the last item, Language,
#      and Enter opens the language dialog;
#   3. Down picks English, Enter saves, Enter dismisses the notice that it
#      takes effect at the next start; RDRCONF.config holds the choice;
#   4. Alt+F4 closes the window and the program ends;
#   5. started again, its title is the English one; Alt+F4 ends it.
# Exits 77 (skipped) without a display or a wine prefix.
#   gui_test.sh <rdrconf.exe> <lang folder> <scratch folder>
set -euo pipefail
exe=$1 lang=$2 work=$3

if [[ -z ${DISPLAY:-} || -z ${WINEPREFIX:-} ]] || ! command -v xdotool >/dev/null; then
  echo "gui_test: no display, wine prefix or xdotool: run it through scripts/build-windows" >&2
  exit 77
fi

fail() {
  echo "gui_test: $*" >&2
  import -window root "$work/failure.png" 2>/dev/null && echo "gui_test: the screen is in $work/failure.png" >&2
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

value_of() { sed -n "s/^$1=//p" "$lang/RDRCONF.$2.ini" | tr -d '\r'; }

rm -rf "$work" && mkdir -p "$work"
cp "$lang/RDRCONF.zh-CN.ini" "$lang/RDRCONF.en-US.ini" "$work/"
chinese=$(value_of form_title zh-CN)
english=$(value_of form_title en-US)
[[ $chinese == "USB读卡器软件" ]] || fail "the Chinese language file has the title '$chinese'"

# 1.
start
window=$(window_named "$chinese") || fail "no window titled '$chinese'"
[[ $(xdotool getwindowname "$window") == "$chinese" ]] || fail "the title is '$(xdotool getwindowname "$window")'"
echo "gui_test: window '$chinese' is shown"

# 2.
activate "$window" || fail "the window cannot be made the active one"
opened=no
for attempt in 1 2 3; do
  xdotool key --clearmodifiers alt+space
  if untitled_window 25; then
    opened=yes
    break
  fi
  activate "$window" || true
done
[[ $opened == yes ]] || fail "Alt+Space opened no system menu"
xdotool key Up Return
dialog=$(window_named "Language") || fail "Alt+Space, Up, Enter opened no language dialog"
echo "gui_test: the system menu's Language item opened the language dialog"

# 3.
activate "$dialog" || fail "the language dialog cannot be made the active window"
xdotool key Down
sleep 0.3
xdotool key Return
tries=0
until [[ -f $work/RDRCONF.config ]] && grep -q '^language=en-US' "$work/RDRCONF.config"; do
  ((tries++ < 100)) || fail "Save wrote no choice: $(cat "$work/RDRCONF.config" 2>/dev/null || echo 'no RDRCONF.config')"
  sleep 0.2
done
[[ $(cat "$work/RDRCONF.config") == $'[config]\nlanguage=en-US' ]] || fail "RDRCONF.config holds: $(cat "$work/RDRCONF.config")"
echo "gui_test: RDRCONF.config holds language=en-US"
untitled_window || fail "no notice after the choice was saved"
xdotool key Return  # the notice
tries=0
while xdotool search --onlyvisible --name '^Language$' >/dev/null 2>&1; do
  ((tries++ < 100)) || fail "the language dialog stayed open after its notice"
  sleep 0.2
done

# 4.
activate "$window" || fail "the window cannot be made the active one again"
xdotool key --clearmodifiers alt+F4
wait_for_end
echo "gui_test: Alt+F4 ended the program"

# 5.
start
window=$(window_named "$english") || fail "after the choice, no window titled '$english'"
echo "gui_test: started again, window '$english' is shown"
activate "$window" || fail "the English window cannot be made the active one"
xdotool key --clearmodifiers alt+F4
wait_for_end
echo "gui_test: passed"
