#!/usr/bin/env bash
# The Windows program as a person uses it, under wine on the X display of
# the session (scripts/wine-session: Xvfb, openbox, the prepared prefix):
#   1. rdrconf.exe starts in a folder that holds the shipped language files
#      and no choice: its window's title is the Chinese one (or, given the
#      choice file, in an empty folder: it finds the files beside itself);
#   2. Alt+Space opens its system menu, Up goes to the last item, Language,
#      and Enter opens the language dialog;
#   3. Down picks English, Enter saves, Enter dismisses the notice that it
#      takes effect at the next start; RDRCONF.config holds the choice (in
#      the working folder, or the choice file given);
#   4. Alt+F4 closes the window and the program ends;
#   5. started again, its title is the English one; Alt+F4 ends it.
# Exits 77 (skipped) without a display or a wine prefix.
#   gui_test.sh <rdrconf.exe> <lang folder> <scratch folder> [<choice file>]
set -euo pipefail
exe=$1 lang=$2 work=$3 choice=${4:-$3/RDRCONF.config}

if [[ -z ${DISPLAY:-} || -z ${WINEPREFIX:-} ]] || ! command -v xdotool >/dev/null; then
  echo "gui_test: no display, wine prefix or xdotool: run it through scripts/build-windows" >&2
  exit 77
fi

# shellcheck source=tests/app/win32/gui_steps.sh
source "$(dirname "$0")/gui_steps.sh"

value_of() { sed -n "s/^$1=//p" "$lang/RDRCONF.$2.ini" | tr -d '\r'; }

rm -rf "$work" && mkdir -p "$work"
[[ $# -ge 4 ]] || cp "$lang/RDRCONF.zh-CN.ini" "$lang/RDRCONF.en-US.ini" "$work/"
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
until [[ -f $choice ]] && grep -q '^language=en-US' "$choice"; do
  ((tries++ < 100)) || fail "Save wrote no choice: $(cat "$choice" 2>/dev/null || echo "no $choice")"
  sleep 0.2
done
[[ $(cat "$choice") == $'[config]\nlanguage=en-US' ]] || fail "$choice holds: $(cat "$choice")"
echo "gui_test: $choice holds language=en-US"
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
