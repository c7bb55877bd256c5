#!/usr/bin/env bash
# The MSI as a user and an administrator meet it, under wine on the X display
# of a session (scripts/wine-session) whose prefix is the test's alone:
#   1. its tables: ProductCode, UpgradeCode, the version from rdrconf.exe's
#      version record, no elevation for a per-user install, the PATH rows,
#      the upgrade rows and the shortcut named as the desktop entry;
#   2. per user (msiexec /i /qn): the files under %LOCALAPPDATA%\Programs,
#      the Uninstall key, the shortcut, the user's PATH entry;
#      rdrconf-cli --version through cmd /c and that PATH; the installed
#      rdrconf.exe shows its Chinese title and saves English as the choice
#      in %APPDATA%\rdrconf (gui_test.sh);
#   3. a higher version over it: one entry, the choice and the settings
#      record kept, the English title; the lower version again is refused;
#      the same version again repairs, and a rebuild of it replaces it;
#   4. uninstall: no file, key, shortcut or PATH entry of it is left, and the
#      user's own data is;
#   5. for all users (ALLUSERS=1): Program Files, the system's PATH entry;
#      uninstall leaves nothing.
# The higher version and the rebuild are the same programs packed again by
# scripts/pack-msi with another ProductVersion (a new ProductCode each).
#   msi_test.sh <rdrconf-<version>-x64.msi> <folder of the programs> <scratch folder>
set -euo pipefail
msi=$(realpath "$1") programs=$(realpath "$2") work=$(realpath -m "$3")
root=$(cd "$(dirname "$0")/../../.." && pwd)
if [[ -z ${DISPLAY:-} || -z ${WINEPREFIX:-} ]]; then
  echo "msi_test: no display or wine prefix: run it through scripts/build-windows" >&2
  exit 77
fi
# shellcheck source=tests/app/win32/gui_steps.sh
source "$root/tests/app/win32/gui_steps.sh"
rm -rf "$work" && mkdir -p "$work"
exe=
say() { echo "msi_test: $*"; }

# Every version of RDRCONF has this UpgradeCode: were it changed, no later
# MSI would replace the ones installed.
upgrade_code="{7E3A5C1D-92B4-4F6E-8A0D-3C5B7E9F1A24}"
desktop_name() { sed -n "s/^$1=//p" "$root/packaging/org.rdrconf.rdrconf.desktop"; }
shortcut_name=$(desktop_name Name)
shortcut_name_zh_cn=$(desktop_name 'Name\[zh_CN\]')
table() { { msiinfo export "$1" "$2" 2>/dev/null || true; } | tr -d '\r'; }
property() { table "$1" Property | sed -n "s/^$2\t//p"; }
# The version record of rdrconf.exe, a.b.c.d.
version_record() {
  x86_64-w64-mingw32-windres -i "$1" -O rc | tr -d '\r' |
    sed -n 's/^ *PRODUCTVERSION \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1.\2.\3.\4/p'
}
# String 1 of rdrconf.exe in one language ("9, 1": English, "4, 2": Chinese),
# from windres's listing of its resources (a LANGUAGE line holds for the
# resources after it).
string_resource() {
  x86_64-w64-mingw32-windres -i "$1" -O rc | tr -d '\r' | python3 -c '
import re, sys
language = None
for line in sys.stdin:
    if line.startswith("LANGUAGE "):
        language = line.split(" ", 1)[1].strip()
    found = re.match(r"\s+1, L?\"(.*)\"$", line)
    if found and language == sys.argv[1]:
        print(re.sub(r"\\x([0-9a-fA-F]{4})", lambda m: chr(int(m.group(1), 16)), found.group(1)))' "$2"
}
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
unix_path() { local p=${1//\\//}; echo "$WINEPREFIX/drive_c/${p#C:/}"; }

# --- 1. The tables ----------------------------------------------------------------

version=$(version_record "$programs/rdrconf.exe")
[[ -n $version ]] || fail "rdrconf.exe has no version record"
product_code=$(property "$msi" ProductCode)
[[ $product_code =~ ^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$ ]] || fail "ProductCode '$product_code'"
[[ $(property "$msi" UpgradeCode | tr a-f A-F) == "$upgrade_code" ]] || fail "UpgradeCode $(property "$msi" UpgradeCode), not $upgrade_code"
[[ $(property "$msi" ProductVersion) == "$version" ]] || fail "ProductVersion $(property "$msi" ProductVersion), the version record $version"
[[ $(property "$msi" ProductName) == RDRCONF && $(property "$msi" Manufacturer) == "RDRCONF maintainers" ]] ||
  fail "ProductName '$(property "$msi" ProductName)', Manufacturer '$(property "$msi" Manufacturer)'"
[[ -z $(property "$msi" ALLUSERS) ]] || fail "ALLUSERS is set in the Property table: the default would not be per user"
dump=$work/tables
mkdir -p "$dump"
# msidump (and msiinfo export) writes a table's streams, the icon, into the
# working folder: here, the dump's.
(cd "$dump" && msidump --tables --directory . "$msi" >/dev/null)
# The "Apps & features" icon: the program's own (wine shows no DisplayIcon).
[[ $(property "$msi" ARPPRODUCTICON) == rdrconf.exe ]] && grep -q $'^rdrconf.exe\t' "$dump/Icon.idt" ||
  fail "no ARPPRODUCTICON of rdrconf.exe's icon"
# Word count 10: compressed files (2), no elevation needed (8).
[[ $(tr -d '\r' <"$dump/_SummaryInformation.idt" | sed -n 's/^15\t//p') == 10 ]] || fail "the summary's word count is not 10"
expect_rows() {  # <table> <row with tabs>...
  local rows row
  rows=$(table "$msi" "$1" | tail -n +4)
  shift
  for row in "$@"; do
    grep -qxF "$row" <<<"$rows" || fail "no row '$row' in: $rows"
  done
}
expect_rows Environment $'UserPath\t=-Path\t[~];[INSTALLDIR]\tUserPath' $'MachinePath\t=-*Path\t[~];[INSTALLDIR]\tMachinePath'
expect_rows InstallExecuteSequence $'WriteEnvironmentStrings\t\t5200' $'RemoveEnvironmentStrings\t\t3300' \
  $'MachineInstallDir\tALLUSERS = 1\t990'
expect_rows Upgrade "$upgrade_code"$'\t\t'"$version"$'\t\t513\t\tWIX_UPGRADE_DETECTED' \
  "$upgrade_code"$'\t'"$version"$'\t\t\t2\t\tWIX_DOWNGRADE_DETECTED'
expect_rows LaunchCondition $'NOT WIX_DOWNGRADE_DETECTED\tA newer version of RDRCONF is already installed. Uninstall it first to install this older one.'
# The Start menu's key in HKMU (-1): the user's hive per user, the
# machine's for all users (wixl writes 4).
registry=$(table "$msi" Registry)
grep -qP '^\S+\t-1\tSoftware\\RDRCONF\tStartMenu\t#1\tStartMenu$' <<<"$registry" ||
  fail "the Start menu component's key is not in HKMU: $registry"
components=$(table "$msi" Component)
grep -qP '^UserPath\t.*\tNOT ALLUSERS\t' <<<"$components" || fail "the user's PATH component has no condition"
grep -qP '^MachinePath\t.*\tALLUSERS = 1\t' <<<"$components" || fail "the system's PATH component has no condition"
shortcuts=$(table "$msi" Shortcut)
grep -qP "^StartMenuShortcut\tProgramMenuFolder\t\Q$shortcut_name\E\t.*\t\[#rdrconf.exe\]\t1\t" <<<"$shortcuts" ||
  fail "the shortcut is not named '$shortcut_name' with rdrconf.exe's string 1: $shortcuts"
[[ $(string_resource "$programs/rdrconf.exe" "9, 1") == "$shortcut_name" ]] || fail "rdrconf.exe's English string 1 is not '$shortcut_name'"
[[ $(string_resource "$programs/rdrconf.exe" "4, 2") == "$shortcut_name_zh_cn" ]] || fail "rdrconf.exe's Chinese string 1 is not '$shortcut_name_zh_cn'"
say "$(basename "$msi"): $(stat -c %s "$msi") bytes; ProductCode $product_code, UpgradeCode $upgrade_code, version $version"
say "tables: $(msiinfo tables "$msi" | tr -d '\r' | sort | tr '\n' ' ')"

# --- Where things go, and what is there -----------------------------------------------------

mapfile -t folders < <(wine cmd /c 'echo %APPDATA%&echo %LOCALAPPDATA%&echo %ProgramFiles%&echo %ProgramData%' | tr -d '\r')
appdata=$(unix_path "${folders[0]}")
user_dir=$(unix_path "${folders[1]}\\Programs\\RDRCONF")
machine_dir=$(unix_path "${folders[2]}\\RDRCONF")
user_menu=$appdata/Microsoft/Windows/Start\ Menu/Programs
common_menu=$(unix_path "${folders[3]}\\Microsoft\\Windows\\Start Menu\\Programs")
user_env='HKCU\Environment'
system_env='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
choice=$appdata/rdrconf/RDRCONF.config
record=$(unix_path "${folders[1]}")/rdrconf/readers.json

reg_value() { { wine reg query "$1" /v "$2" 2>/dev/null || true; } | tr -d '\r' | sed -n "s/^    $2    REG_[A-Z_]*    //p"; }
# Each Uninstall entry named RDRCONF: its key, DisplayVersion, Publisher and
# UninstallString, separated by "|". (Wine keeps a per-user product's entry
# under HKLM, where Windows keeps it under HKCU, and writes no DisplayIcon.)
arp_entries() {
  local hive line key
  declare -A value=()
  local -a keys=()
  for hive in HKCU HKLM; do
    while IFS= read -r line; do
      line=${line%$'\r'}
      if [[ $line == HKEY_* ]]; then
        key=$line
        keys+=("$key")
      elif [[ $line =~ ^\ {4}([^\ ]+)\ {4}REG_[A-Z_]+\ {4}(.*)$ ]]; then
        value[$key|${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
      fi
    done < <(wine reg query "$hive\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s 2>/dev/null)
  done
  for key in "${keys[@]}"; do
    [[ ${value[$key|DisplayName]:-} == RDRCONF ]] || continue
    printf '%s|%s|%s|%s\n' "$key" "${value[$key|DisplayVersion]:-}" "${value[$key|Publisher]:-}" \
      "${value[$key|UninstallString]:-}"
  done
}
install() {  # <msi> [property=value...]: msiexec's status (wine gives its low 8 bits)
  local package=$1
  shift
  wine msiexec /i "$(windows_path "$package")" /qn "$@" >/dev/null 2>&1
}
uninstall() { wine msiexec /x "$1" /qn >/dev/null 2>&1 || fail "msiexec /x $1 failed"; }

# The files, the one Uninstall entry, the shortcut and the PATH entry of an
# install for <user|machine> of <version> with <ProductCode>.
expect_installed() {
  local scope=$1 want_version=$2 want_code=$3 dir env menu candidate file entries path
  local key entry_version publisher uninstall_string
  if [[ $scope == user ]]; then dir=$user_dir env=$user_env; else dir=$machine_dir env=$system_env; fi
  for file in rdrconf.exe rdrconf-cli.exe sqliteprovider.dll RDRCONF.zh-CN.ini RDRCONF.en-US.ini; do
    cmp -s "$programs/$file" "$dir/$file" || fail "$dir/$file is missing or not the one packed"
  done
  entries=$(arp_entries)
  [[ $(grep -c . <<<"$entries") == 1 ]] || fail "not one Uninstall entry of RDRCONF: ${entries:-none}"
  IFS='|' read -r key entry_version publisher uninstall_string <<<"$entries"
  [[ ${key##*\\} == "$want_code" && $entry_version == "$want_version" && $publisher == "RDRCONF maintainers" ]] ||
    fail "the Uninstall entry is $key, version $entry_version, publisher $publisher"
  [[ $uninstall_string == *"MsiExec.exe"*"$want_code"* ]] || fail "its UninstallString is '$uninstall_string'"
  menu=
  for candidate in "$user_menu" "$common_menu"; do
    [[ -f "$candidate/$shortcut_name.lnk" ]] && menu=$candidate
  done
  [[ -n $menu ]] || fail "no '$shortcut_name.lnk' in the Start menu"
  # Per user it must be the user's; wine puts an all-users shortcut there too.
  [[ $scope == machine || $menu == "$user_menu" ]] || fail "the shortcut is in $menu"
  path=$(reg_value "$env" Path)
  [[ ";$path;" == *";$(windows_dir "$dir");"* ]] || fail "$env\\Path has no entry of the install folder: $path"
  say "installed for $scope: $dir; Uninstall entry $key (version $entry_version); shortcut in $menu; $env\\Path: $path"
}
windows_dir() { local p=${1#"$WINEPREFIX/drive_c/"}; p=${p//\//\\}; echo "C:\\$p\\"; }

expect_removed() {
  local dir=$1 env=$2 path
  [[ ! -e $dir ]] || fail "$dir is left: $(find "$dir" | head -5 | tr '\n' ' ')"
  [[ -z $(arp_entries) ]] || fail "an Uninstall entry is left: $(arp_entries)"
  [[ ! -e "$user_menu/$shortcut_name.lnk" && ! -e "$common_menu/$shortcut_name.lnk" ]] || fail "the shortcut is left"
  path=$(reg_value "$env" Path)
  [[ $path != *RDRCONF* ]] || fail "$env\\Path keeps the entry: $path"
  ! wine reg query 'HKCU\Software\RDRCONF' >/dev/null 2>&1 || fail "HKCU\\Software\\RDRCONF is left"
  ! wine reg query 'HKLM\Software\RDRCONF' >/dev/null 2>&1 || fail "HKLM\\Software\\RDRCONF is left"
  say "uninstalled: no file under $dir, no Uninstall entry, shortcut, key or PATH entry ($env\\Path: '$path')"
}

expect_user_data_kept() {
  cmp -s "$work/RDRCONF.config.before" "$choice" || fail "the language choice $choice was not kept"
  cmp -s "$work/readers.json.before" "$record" || fail "the settings record $record was not kept"
}

# --- 2. Per user ---------------------------------------------------------------------------

rm -rf "$appdata/rdrconf" "$(dirname "$record")"
install "$msi" || fail "the per-user install failed with status $?"
expect_installed user "$version" "$product_code"
printed=$(cd "$work" && wine cmd /c rdrconf-cli --version | tr -d '\r')
[[ $printed == "rdrconf-cli $version" ]] || fail "cmd /c rdrconf-cli --version printed '$printed'"
say "cmd /c rdrconf-cli --version, through the user's PATH: $printed"
bash "$root/tests/app/win32/gui_test.sh" "$user_dir/rdrconf.exe" "$root/lang" "$work/gui" "$choice"
cp "$choice" "$work/RDRCONF.config.before"
mkdir -p "$(dirname "$record")"
printf '{"readers":[{"serial":"0001","format":4,"mode":"active","enter":true,"power_saving":false}]}\n' >"$record"
cp "$record" "$work/readers.json.before"

# --- 3. Upgrade, downgrade, the same version -------------------------------------------------

IFS=. read -r major minor build revision <<<"$version"
higher_version=$major.$((minor + 1)).$build.$revision
higher=$work/rdrconf-$higher_version-x64.msi
"$root/scripts/pack-msi" "$programs" "$higher_version" "$higher"
higher_code=$(property "$higher" ProductCode)
install "$higher" || fail "the upgrade to $higher_version failed with status $?"
expect_installed user "$higher_version" "$higher_code"
expect_user_data_kept
work=$work/english exe=$user_dir/rdrconf.exe
mkdir -p "$work"
start
window=$(window_named "$(sed -n 's/^form_title=//p' "$root/lang/RDRCONF.en-US.ini" | tr -d '\r')") ||
  fail "after the upgrade, rdrconf.exe does not show its English title"
activate "$window" || fail "the English window cannot be made the active one"
xdotool key --clearmodifiers alt+F4
wait_for_end
work=${work%/english}
say "upgraded to $higher_version: one entry, the language choice and the settings record kept, the English title"

if install "$msi"; then fail "installing $version over $higher_version was not refused"; else status=$?; fi
expect_installed user "$higher_version" "$higher_code"
say "installing $version over $higher_version is refused (msiexec status $status: 1603 & 0xff), $higher_version stays"

rm "$user_dir/rdrconf-cli.exe"
install "$higher" || fail "installing $higher_version again failed with status $?"
expect_installed user "$higher_version" "$higher_code"
say "installing $higher_version again repairs it (rdrconf-cli.exe, deleted, is back) and leaves one entry"
rebuilt=$work/rebuilt/rdrconf-$higher_version-x64.msi
mkdir -p "$(dirname "$rebuilt")"
"$root/scripts/pack-msi" "$programs" "$higher_version" "$rebuilt"
rebuilt_code=$(property "$rebuilt" ProductCode)
install "$rebuilt" || fail "installing a rebuild of $higher_version failed with status $?"
expect_installed user "$higher_version" "$rebuilt_code"
say "a rebuild of $higher_version (ProductCode $rebuilt_code) replaces it: one entry"

# --- 4. Uninstall ----------------------------------------------------------------------------

uninstall "$rebuilt_code"
expect_removed "$user_dir" "$user_env"
expect_user_data_kept
say "the language choice and the settings record are left, as the user's own"

# --- 5. For all users ------------------------------------------------------------------------

install "$msi" ALLUSERS=1 || fail "the install for all users failed with status $?"
expect_installed machine "$version" "$product_code"
printed=$(cd "$work" && wine cmd /c rdrconf-cli --version | tr -d '\r')
[[ $printed == "rdrconf-cli $version" ]] || fail "cmd /c rdrconf-cli --version printed '$printed'"
[[ $(reg_value "$user_env" Path) != *RDRCONF* ]] || fail "an install for all users changed the user's PATH"
say "cmd /c rdrconf-cli --version, through the system's PATH: $printed"
uninstall "$product_code"
expect_removed "$machine_dir" "$system_env"
say "passed"
