#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the installed tree and the
# "rdrconf" command as a user meets them: started from any folder, it finds
# the shipped language files in the data folders ($XDG_DATA_DIRS), a user's
# own copies first ($XDG_DATA_HOME), and keeps the language choice in
# $XDG_CONFIG_HOME/rdrconf.
#
# installed_test.sh <case> <build dir> <language file folder> [files...]
#   layout             every file named after the folder exists in the prefix
#   first-start        started from /, the window is Chinese; nothing is written
#   own-copies         a user's edited copy and English choice win
#   working-folder     a folder holding language files is used as it always was
#   no-language-files  none anywhere: built-in English and a warning
#   command-line       the installed rdrconf-cli finds the shipped language files
#
# The environment gives BINDIR and DATADIR (relative to the prefix), and the
# programs XVFB, XWININFO and APPSTREAMCLI.
set -euo pipefail
source "$(dirname "$0")/window_title.sh"

case_name=$1
build_dir=$2
lang_source=$3
shift 3

work=$(mktemp -d "${TMPDIR:-/tmp}/rdrconf-installed.XXXXXX")
cleanup() {
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT

prefix=$work/prefix
cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install (is the project built?)"; }
command=$prefix/$BINDIR/rdrconf
shipped=$prefix/$DATADIR/rdrconf
home=$work/home
mkdir "$home"
# The user's environment: no XDG folders set but the system's data folders,
# which hold the prefix's share folder.
user_env=(-u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" XDG_DATA_DIRS="$prefix/$DATADIR")

# Starts the installed command offscreen from the current folder; the window
# ends as soon as it has been shown. The arguments are env options and
# VAR=value settings.
start_offscreen() {
  env "${user_env[@]}" "$@" QT_QPA_PLATFORM=offscreen RDRCONF_QUIT_WHEN_SHOWN=1 "$command"
}

case $case_name in
  layout)
    (($# > 0)) || fail "no files to look for"
    for file in "$@"; do
      [[ -f $prefix/$file ]] || fail "not installed: $file"
    done
    [[ -x $command ]] || fail "the command is not executable"
    "$APPSTREAMCLI" validate-tree --no-net --pedantic "$prefix" || fail "appstreamcli validate-tree"
    ;;

  first-start)
    (cd / && start_offscreen) || fail "the first start ended with status $?"
    [[ -z $(find "$home" -mindepth 1 -print -quit) ]] || fail "a start wrote into HOME: $(find "$home")"
    window_title /
    [[ $title == "$(form_title "$lang_source/RDRCONF.zh-CN.ini")" ]] ||
      fail "window title \"$title\" is not the Chinese one"
    ;;

  own-copies)
    # The user rewords a text in an own copy and chooses English.
    mkdir -p "$home/.local/share/rdrconf" "$home/.config/rdrconf"
    sed 's/^form_title=.*/form_title=My own reader title/' "$shipped/RDRCONF.en-US.ini" \
      >"$home/.local/share/rdrconf/RDRCONF.en-US.ini"
    printf '[config]\nlanguage=en-US\n' >"$home/.config/rdrconf/RDRCONF.config"
    window_title /
    [[ $title == "My own reader title" ]] || fail "window title \"$title\" is not the user's English one"
    # XDG_DATA_HOME, when set, stands for ~/.local/share.
    mkdir -p "$work/data/rdrconf"
    sed 's/^form_title=.*/form_title=Elsewhere/' "$shipped/RDRCONF.en-US.ini" >"$work/data/rdrconf/RDRCONF.en-US.ini"
    window_title / XDG_DATA_HOME="$work/data"
    [[ $title == "Elsewhere" ]] || fail "window title \"$title\" ignores XDG_DATA_HOME"
    ;;

  working-folder)
    # A folder holding language files works as it always did, choice beside them.
    mkdir "$work/folder"
    sed 's/^form_title=.*/form_title=From the working folder/' "$shipped/RDRCONF.en-US.ini" \
      >"$work/folder/RDRCONF.en-US.ini"
    printf '[config]\nlanguage=en-US\n' >"$work/folder/RDRCONF.config"
    window_title "$work/folder"
    [[ $title == "From the working folder" ]] || fail "window title \"$title\" is not the working folder's"
    ;;

  no-language-files)
    mkdir "$work/empty"
    status=0
    (cd / && start_offscreen XDG_DATA_DIRS="$work/empty") 2>"$work/stderr" || status=$?
    ((status == 0)) || fail "the start without language files ended with status $status"
    grep -q "showing the built-in English texts" "$work/stderr" || fail "no warning: $(cat "$work/stderr")"
    user_env=(-u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" XDG_DATA_DIRS="$work/empty")
    window_title /
    [[ $title == "USB Card Reader Settings" ]] || fail "window title \"$title\" is not the built-in English one"
    ;;

  command-line)
    # The command line finds the shipped language files in the data folders
    # as the window does; the doctor says where.
    status=0
    (cd / && env "${user_env[@]}" "$prefix/$BINDIR/rdrconf-cli" doctor --json >"$work/doctor.json") || status=$?
    ((status != 2)) || fail "rdrconf-cli doctor: usage error"
    grep -A3 '"check": "language_files",' "$work/doctor.json" | grep -q '"ok": true' ||
      fail "the shipped language files were not found: $(cat "$work/doctor.json")"
    grep -q "\"detail\": \"$shipped/RDRCONF.zh-CN.ini" "$work/doctor.json" ||
      fail "not the shipped folder $shipped: $(cat "$work/doctor.json")"
    "$prefix/$BINDIR/rdrconf-cli" --version | grep -q '1.0.0.1' || fail "rdrconf-cli --version"
    ;;

  *)
    fail "unknown case $case_name"
    ;;
esac
echo "passed: $case_name"
