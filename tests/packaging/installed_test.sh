#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the installed tree and the
# "rdrconf" command as a user meets them.
#
# installed_test.sh <case> <build dir> <language file folder> [files...]
#   layout       every file named after the folder exists in the prefix
#   first-start  a user's first start: folder, language files, Chinese window
#   user-files   a user's edits and language choice survive a new version
#   folders      where the user's folder goes, and when there is none
#   command-line the installed rdrconf-cli finds the shipped language files
#
# The environment gives BINDIR, LIBEXECDIR and DATADIR (relative to the
# prefix), and the programs XVFB, XWININFO and APPSTREAMCLI.
set -euo pipefail

case_name=$1
build_dir=$2
lang_source=$3
shift 3

work=$(mktemp -d "${TMPDIR:-/tmp}/rdrconf-installed.XXXXXX")
xvfb_pid=
cleanup() {
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

prefix=$work/prefix
cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install (is the project built?)"; }
command=$prefix/$BINDIR/rdrconf
shipped=$prefix/$DATADIR/rdrconf/lang

# Starts the installed command offscreen; the window ends as soon as it has
# been shown. The arguments are env options and VAR=value settings.
start_offscreen() {
  env -u XDG_DATA_HOME "$@" QT_QPA_PLATFORM=offscreen RDRCONF_QUIT_WHEN_SHOWN=1 "$command"
}

# Sets "title" to the title of the window the installed command shows on a
# virtual X display for the given HOME. The window stays open, so the program
# is ended once its window has appeared.
window_title() {
  if [[ -z $xvfb_pid ]]; then
    "$XVFB" -displayfd 3 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 300); do
      [[ -s $work/display ]] && break
      kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
      sleep 0.1
    done
    [[ -s $work/display ]] || fail "Xvfb did not report its display"
  fi
  local display program
  display=":$(cat "$work/display")"
  title=
  # libxkbcommon-x11 hands strndup a name that has no terminating zero, which
  # is allowed but trips AddressSanitizer's strict string checks.
  env -u XDG_DATA_HOME HOME="$1" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    ASAN_OPTIONS=detect_stack_use_after_return=1 "$command" &
  program=$!
  for _ in $(seq 300); do
    # A top-level window line reads: 0x200006 "title": ("rdrconf" "RDRCONF") ...
    title=$(DISPLAY=$display "$XWININFO" -root -children |
      sed -n 's/^ *0x[0-9a-f]* "\(.*\)": ("rdrconf" .*/\1/p' | head -n 1)
    [[ -n $title ]] && break
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
  done
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  [[ -n $title ]] || fail "the installed rdrconf showed no window"
}

form_title() { sed -n 's/^form_title=//p' "$1"; }

# The user's folder holds byte-identical copies of the shipped language files.
expect_shipped_copies() {
  local folder=$1 file name
  for file in "$lang_source"/RDRCONF.*.ini; do
    name=${file##*/}
    cmp "$file" "$folder/$name" || fail "$folder/$name differs from the shipped $name"
  done
}

case $case_name in
  layout)
    (($# > 0)) || fail "no files to look for"
    for file in "$@"; do
      [[ -f $prefix/$file ]] || fail "not installed: $file"
    done
    [[ -x $command && -x $prefix/$LIBEXECDIR/rdrconf/rdrconf ]] ||
      fail "the command or the program it starts is not executable"
    "$APPSTREAMCLI" validate-tree --no-net --override=cid-desktopapp-is-not-rdns=info "$prefix" ||
      fail "appstreamcli validate-tree"
    ;;

  first-start)
    home=$work/home
    mkdir "$home"
    start_offscreen HOME="$home" || fail "the first start ended with status $?"
    folder=$home/.local/share/rdrconf
    [[ -d $folder ]] || fail "the first start made no folder $folder"
    expect_shipped_copies "$folder"
    window_title "$home"
    [[ $title == "$(form_title "$lang_source/RDRCONF.zh-CN.ini")" ]] ||
      fail "window title \"$title\" is not the Chinese one"
    ;;

  user-files)
    home=$work/home
    folder=$home/.local/share/rdrconf
    mkdir "$home"
    start_offscreen HOME="$home" || fail "the first start ended with status $?"

    # The user rewords a text and chooses English.
    sed -i 's/^form_title=.*/form_title=My own reader title/' "$folder/RDRCONF.en-US.ini"
    printf '[config]\nlanguage=en-US\n' >"$folder/RDRCONF.config"
    cp "$folder/RDRCONF.en-US.ini" "$work/users-en-US.ini"
    # A new version of the tool ships changed language files.
    for file in "$shipped"/RDRCONF.*.ini; do
      printf '; revised\n' >>"$file"
    done

    start_offscreen HOME="$home" || fail "the second start ended with status $?"
    cmp "$work/users-en-US.ini" "$folder/RDRCONF.en-US.ini" ||
      fail "the user's RDRCONF.en-US.ini was overwritten"
    cmp "$shipped/RDRCONF.zh-CN.ini" "$folder/RDRCONF.zh-CN.ini" ||
      fail "the unchanged RDRCONF.zh-CN.ini was not updated to the new version"
    [[ $(cat "$folder/RDRCONF.config") == $'[config]\nlanguage=en-US' ]] ||
      fail "the language choice changed: $(cat "$folder/RDRCONF.config")"
    window_title "$home"
    [[ $title == "My own reader title" ]] || fail "window title \"$title\" is not the user's English one"

    # A language file the user deleted comes back, since the window needs it.
    rm "$folder/RDRCONF.zh-CN.ini"
    start_offscreen HOME="$home" || fail "the third start ended with status $?"
    cmp "$shipped/RDRCONF.zh-CN.ini" "$folder/RDRCONF.zh-CN.ini" ||
      fail "the deleted RDRCONF.zh-CN.ini was not restored"
    ;;

  folders)
    # XDG_DATA_HOME, when absolute, holds the folder; HOME stays untouched.
    mkdir "$work/home" "$work/data"
    start_offscreen HOME="$work/home" XDG_DATA_HOME="$work/data" ||
      fail "the start with XDG_DATA_HOME ended with status $?"
    expect_shipped_copies "$work/data/rdrconf"
    [[ -z $(ls -A "$work/home") ]] || fail "the start with XDG_DATA_HOME wrote into HOME"

    # A relative XDG_DATA_HOME is ignored.
    (cd "$work" && start_offscreen HOME="$work/home" XDG_DATA_HOME=relative) ||
      fail "the start with a relative XDG_DATA_HOME ended with status $?"
    expect_shipped_copies "$work/home/.local/share/rdrconf"
    [[ ! -e $work/relative ]] || fail "a relative XDG_DATA_HOME was used"

    # No folder to be had: one clear line, and the program is not started.
    while IFS='|' read -r what settings; do
      status=0
      # shellcheck disable=SC2086  # settings holds separate VAR=value words
      start_offscreen -u HOME $settings 2>"$work/stderr" || status=$?
      ((status == 1)) || fail "$what: status $status, expected 1"
      [[ $(wc -l <"$work/stderr") -eq 1 && $(cat "$work/stderr") == "rdrconf: "* ]] ||
        fail "$what: expected one line of error, got: $(cat "$work/stderr")"
    done <<'EOF'
no HOME, no XDG_DATA_HOME|
relative HOME|HOME=home
folder cannot be made|HOME=/dev/null/home
EOF
    ;;

  command-line)
    # Before the window ever ran, the user's folder is empty: the doctor
    # finds the shipped files from where the program is installed.
    mkdir -p "$work/home"
    status=0
    (cd "$work" && env -u XDG_DATA_HOME -u XDG_DATA_DIRS HOME="$work/home" \
      "$prefix/$BINDIR/rdrconf-cli" doctor --json >"$work/doctor.json") || status=$?
    ((status != 2)) || fail "rdrconf-cli doctor: usage error"
    grep -q '"check": "language_files",' "$work/doctor.json" || fail "no language check: $(cat "$work/doctor.json")"
    grep -A3 '"check": "language_files",' "$work/doctor.json" | grep -q '"ok": true' ||
      fail "the shipped language files were not found: $(cat "$work/doctor.json")"
    grep -q "\"detail\": \"$shipped/RDRCONF.zh-CN.ini" "$work/doctor.json" ||
      fail "not the shipped folder $shipped: $(cat "$work/doctor.json")"
    ;;

  *)
    fail "unknown case $case_name"
    ;;
esac
echo "passed: $case_name"
