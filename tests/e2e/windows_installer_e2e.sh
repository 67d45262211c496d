#!/usr/bin/env bash
# End-to-end checks of the shops' installer, qelto-callerid-setup.exe, under Wine: silent
# installations into SQLite and into PostgreSQL (through Wine's odbc32) that start the recorder in
# its working folder and record a call from our simulated driver; an installation over a vendor's
# driver and existing settings; the settings written from the command line; the caller-ID modems
# written to POS_CIDR.conf, from the command line and from their page in both languages; the
# uninstaller; and the pages of an installation in Persian and in English, clicked through as a
# shop's installer would, with a screenshot of each (BUILD_DIR/screenshots/installer-*.png, the
# English ones installer-en-*.png: the manual's pictures, copied by tools/update-manual-images).
#
# Usage: windows_installer_e2e.sh CASE BIN_DIR TEST_DRIVER_DIR [win32]
# Runs inside the Windows end-to-end fixture (tests/e2e/windows_e2e.sh setup): its Wine prefix,
# virtual display and wineserver; with "win32", in a 32-bit prefix of its own beside it (what a
# shop's old 32-bit Windows has), made on first use. Every case leaves the prefix without the
# installation.
#
# The program folder is never typed in: it is the one the installer resolves (the Program Files
# of its own kind: "Program Files (x86)" for the 32-bit installer on a 64-bit Windows), and the
# installation's InstallLocation must name the same.
# A step that fails unchecked ends the case, saying which: an exit code that is expected is taken
# with `|| status=$?` or `|| true`.
set -eEuo pipefail
case_name=$1 bin_dir=$(cd "$2" && pwd) driver_dir=$3 prefix_kind=${4:-}
build_dir=$(cd "$bin_dir/.." && pwd)
state=$build_dir/wine-e2e
shots=$build_dir/screenshots
# No winemenubuilder: it would make Linux menu entries of the installer's shortcuts, holding the
# program file open to take its icon while the uninstaller wants it gone.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WAYLAND_DISPLAY
if [ "$prefix_kind" = win32 ]; then
  export WINEPREFIX=$state/prefix-win32 WINEARCH=win32
  wine=${QELTO_WINE32:-/usr/lib/wine/wine}
else
  export WINEPREFIX=$state/prefix
  wine=${QELTO_WINE:-/usr/lib/wine/wine64}
fi
export WINELOADER=$wine

setup=$bin_dir/qelto-callerid-setup.exe
work_dir='' startup_link=''  # from the prefix too (below)
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QELTO Caller ID'
program_dir=''  # once Wine is known to run the installer (below)
wait_poll=0.2  # its waits ask Wine, which costs more than a look at a file
source "$(dirname "$0")/e2e_common.sh"
fail_details() {
  echo "--- running: $(pgrep -af 'qelto-callerid|uninstall|Un_A' | tr '\n' ';')"
  echo "--- program folder: $(ls "$program_dir" 2>&1 | tr '\n' ' ')"
}
# The processes matching PATTERN that run in this test's Wine prefix, not another build's (their
# environment names the prefix).
in_this_prefix() {
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}
# Whatever a case leaves behind is taken away, so the next case (and the recorder's own cases)
# find the prefix as the fixture made it. What is not there to take is no failure.
remove_installation() {
  [ -n "$program_dir" ] || return 0
  if [ -f "$program_dir/uninstall.exe" ]; then
    "$wine" "$program_dir/uninstall.exe" /S </dev/null >/dev/null 2>&1 || true
    wait_until 90 uninstalled || true
  fi
  # In this prefix only: not the installers of another build's tests on the same machine.
  local name
  for name in qelto-callerid.exe qelto-callerid-setup.exe uninstall.exe Un_A.exe; do
    "$wine" taskkill /F /IM "$name" </dev/null >/dev/null 2>&1 || true
  done
  "$wine" reg delete 'HKLM\Software\QELTO' /f $reg_view </dev/null >/dev/null 2>&1 || true
  "$wine" reg delete "$uninstall_key" /f $reg_view </dev/null >/dev/null 2>&1 || true
  rm -rf "$program_dir" "$work_dir" "$startup_link"
}
cleanup_case() { remove_installation; }

[ -x "$wine" ] || skip "$wine is not installed"
[ -f "$setup" ] || skip "no installer $setup (is makensis installed?)"
if [ "$(pe_machine "$setup")" = 014c ]; then
  /usr/lib/wine/wine --version >/dev/null 2>&1 \
    || skip "a 32-bit installer cannot run here: no 32-bit Wine, or a kernel that runs no 32-bit code"
  reg_view=/reg:32  # its keys, under WOW6432Node on a 64-bit Windows
else
  [ "$prefix_kind" != win32 ] || skip "a 64-bit installer has no 32-bit Windows to run on"
  reg_view=/reg:64
fi
[ -s "$state/display" ] || fail "the suite is not set up: run windows_e2e.sh setup first"
export DISPLAY=:$(cat "$state/display")
mkdir -p "$shots"

# The 32-bit prefix, made once per build as the fixture makes its own; its wineserver and Wine's
# services started here with their output away from ctest's pipes, and ended by the fixture's
# cleanup.
if [ "$prefix_kind" = win32 ]; then
  make_wine_prefix
  start_wine_services
fi

# --- Where the installer puts the program ---------------------------------------------------------
# wine_answer COMMAND...: what a short Wine command printed (CR LF made LF). One that printed
# nothing is asked twice more: a Wine that could not start (seen once in CI: winepath printing
# nothing in 0.1 s) must not pass for an empty answer. Only for questions that have an answer.
wine_answer() {
  local answer try
  for try in 1 2 3; do
    answer=$("$wine" "$@" </dev/null 2>/dev/null | tr -d '\r')
    [ -n "$answer" ] && { printf '%s\n' "$answer"; return 0; }
    echo "--- no answer from Wine to '$*' (try $try of 3)" >&2
    sleep 0.5
  done
  return 1
}
reg_value() {  # reg_value KEY NAME: the value's data in the installer's view, or nothing
  wine_answer reg query "$1" /v "$2" $reg_view | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
unix_path() { wine_answer winepath -u "$1"; }
# $PROGRAMFILES as the installer resolves it: the Program Files of its own kind.
# (Each answer is judged by the check after it.)
program_files=$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion' ProgramFilesDir) || true
[ -n "$program_files" ] || fail "the prefix names no Program Files folder"
program_dir=$(unix_path "$program_files\QELTO Caller ID") || true
[ -n "$program_dir" ] || fail "winepath gave no path for $program_files"
# The working folder and the Startup folder of all users, under ProgramData wherever that is.
program_data=$(wine_answer cmd /c 'echo %ProgramData%') || true
[ -n "$program_data" ] || fail "the prefix names no ProgramData folder"
work_dir_windows="$program_data\QELTO Caller ID"
work_dir=$(unix_path "$work_dir_windows") || fail "winepath gave no path for $work_dir_windows"
logs=$work_dir  # the installer starts the recorder there
startup_link=$(unix_path "$program_data\Microsoft\Windows\Start Menu\Programs\StartUp\QELTO Caller ID.lnk") \
  || fail "winepath gave no path for the Startup folder"
start_menu=$(unix_path "$program_data\Microsoft\Windows\Start Menu\Programs\QELTO Caller ID") \
  || fail "winepath gave no path for the Start menu"
expect_install_location() {  # where the installation says it is
  local recorded; recorded=$(reg_value "$uninstall_key" InstallLocation) || true
  [ "$recorded" = "$program_files\QELTO Caller ID" ] \
    || fail "InstallLocation '$recorded', expected '$program_files\QELTO Caller ID'"
  recorded=$(reg_value 'HKLM\Software\QELTO\Caller ID' WorkingFolder) || true
  [ "$recorded" = "$work_dir_windows" ] || fail "WorkingFolder '$recorded', expected '$work_dir_windows'"
}

# --- Installing and removing -----------------------------------------------------------------
install_silently() {  # install_silently OPTIONS...: the installer's exit code must be 0
  "$wine" "$setup" /S "$@" </dev/null >/dev/null 2>&1 || fail "the silent installation failed ($?)"
  expect_install_location
}
# The uninstaller copies itself to %TEMP% and returns at once; its copy does the work.
uninstalled() { [ ! -e "$program_dir/uninstall.exe" ] && [ ! -e "$program_dir/qelto-callerid.exe" ]; }
# It gives the recorder up to a minute to end before it leaves the program to the next restart.
uninstall_silently() {
  "$wine" "$program_dir/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the uninstaller failed"
  wait_until 90 uninstalled || fail "the program is still there 90 s after uninstalling"
  [ ! -e "$startup_link" ] || fail "the logon shortcut stayed"
}

# The installer starts the recorder in the working folder: its log appears there.
expect_recorder_started() {
  wait_until 30 log_has "Application Started!" \
    || fail "the recorder did not start in its working folder within 30 s"
}
sim() { "$wine" "$program_dir/qelto-cidr-sim.exe" "$@" </dev/null 2>&1 | tr -d '\r'; }
expect_installed_files() {  # expect_installed_files FILE...: in the program folder
  local f
  for f in "$@"; do [ -f "$program_dir/$f" ] || fail "not installed: $f"; done
  [ -f "$startup_link" ] || fail "no shortcut in the all-users Startup folder"
}
# The manual in both languages, and a Start-menu entry for each.
manual_files=(manual/manual.fa.html manual/manual.en.html manual/images/tray.png)
manual_entries=("راهنما.lnk" Manual.lnk)
expect_manual() {
  local f
  for f in "${manual_files[@]}"; do [ -f "$program_dir/$f" ] || fail "manual not installed: $f"; done
  for f in "${manual_entries[@]}"; do [ -f "$start_menu/$f" ] || fail "no Start-menu entry $f"; done
}
expect_no_manual() {
  [ ! -e "$program_dir/manual" ] || fail "the manual stayed after the removal"
  [ ! -e "$start_menu" ] || fail "the Start-menu entries stayed: $(ls "$start_menu")"
}
# Uninstalling stops the recorder in order and keeps the working folder and the settings.
expect_orderly_removal() {
  uninstall_silently
  wait_until 20 log_closed || fail "the log does not end with 'Application Closed' after uninstalling"
  [ -f "$program_dir/Server_Config.dll" ] || fail "the settings were removed"
  [ -f "$work_dir/log.txt" ] || fail "the working folder's log was removed"
}

# --- The pages, clicked through -------------------------------------------------------------------
# shot_page NAME TITLE: waits for the window, lets it settle, and saves it alone.
shot_page() {
  local window
  wait_until 15 window_shown "$2" || fail "no window '$2' for the page $1"
  sleep 1
  window=$(window_named "$2")
  PAGE_WINDOW=$window
  eval "$(xdotool getwindowgeometry --shell "$window" | sed 's/^/PAGE_/')"
  import -window root -crop "${PAGE_WIDTH}x${PAGE_HEIGHT}+${PAGE_X}+${PAGE_Y}" +repage \
    "$shots/installer-$1.png" || fail "no screenshot $1"
}
keys() { xdotool key --delay 100 "$@"; }
# Keys for the page's window after the recorder started, which took the activation: a click on
# the title bar gives it back.
keys_to_page() {
  xdotool mousemove --window "$PAGE_WINDOW" 200 10 click 1 sleep 0.3 key --delay 100 "$@"
}
typed() { xdotool type --delay 40 -- "$1"; }

settings_lines() { tr -d '\r' <"$program_dir/Server_Config.dll" | sed -n "$1"; }

# --- Caller-ID modems ----------------------------------------------------------------------------
modems_conf=$program_dir/POS_CIDR.conf
# file_is FILE TEXT: the file holds exactly TEXT (trailing line ends included); "-": no such file.
file_is() {
  [ "$2" = - ] && { [ ! -e "$1" ]; return; }
  local text; text=$(cat "$1" 2>/dev/null && printf x) || return 1
  [ "${text%x}" = "$2" ]
}
conf_header=$'# Caller-ID devices of the shop, for the driver of QELTO Caller ID: one [device] per\r
# caller-ID modem. Read at the recorder\'s start: restart it after a change. The other\r
# keys (raw_log, speed, flow, init, caller_id, ring_timeout) are in the manual.\r\n'
# expected_conf TEXT [PORT LINE]...: $expected is TEXT followed by a modem's section for each pair.
expected_conf() {
  local section; expected=$1; shift
  while [ $# -ge 2 ]; do
    printf -v section '\r\n[device]\r\nkind = modem\r\nport = %s\r\nline = %s\r\n' "$1" "$2"
    expected+=$section; shift 2
  done
}
# The ports Windows lists, for the page: only these, whatever the machine has. Wine makes the key
# at its start when it has a serial port (com1 for /dev/ttyS0), as a volatile key that no new key
# may be made under: without it, no port is listed. Returns 1 then.
serial_ports_key='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
serial_ports() {  # NAME|PORT per line
  "$wine" reg query "$serial_ports_key" </dev/null 2>/dev/null | tr -d '\r' \
    | sed -n 's/^ *\([^ ]*\) *REG_SZ *\(.*\)$/\1|\2/p'
}
restore_serial_ports() {  # restore_serial_ports LIST: as serial_ports printed it
  local name port
  "$wine" reg delete "$serial_ports_key" /va /f </dev/null >/dev/null 2>&1
  while IFS='|' read -r name port; do
    [ -n "$name" ] && "$wine" reg add "$serial_ports_key" /v "$name" /d "$port" /f </dev/null >/dev/null 2>&1
  done <<<"$1"
}
list_serial_ports() {  # list_serial_ports PORT...: usb:COM5 is the USB modem at COM5
  "$wine" reg delete "$serial_ports_key" /va /f </dev/null >/dev/null 2>&1 || return 1
  forget_usb_modem
  local port n=0
  for port in "$@"; do
    [ "${port#usb:}" = "$port" ] || { register_usb_modem "${port#usb:}"; port=${port#usb:}; }
    "$wine" reg add "$serial_ports_key" /v "\\Device\\QeltoTest$((n++))" /d "$port" /f \
      </dev/null >/dev/null 2>&1 || fail "cannot list $port in $serial_ports_key"
  done
}

# --- Databases -----------------------------------------------------------------------------------
sqlite_db=$work_dir/calls.sqlite
rows() { sqlite3 -separator '|' "$sqlite_db" "SELECT LineNumber, TotalNumber, BranchCode FROM Pos_Calls ORDER BY IdNumber" 2>/dev/null; }
source "$(dirname "$0")/e2e_postgres_lib.sh"
use_postgres() {
  command -v psql >/dev/null || skip "psql is not installed"
  fresh_pos_calls "varchar(20)"
  odbc_data_source  # read by the host's unixODBC behind Wine's odbc32
  rows() { pg "SELECT LineNumber, TotalNumber, BranchCode FROM Pos_Calls ORDER BY IdNumber"; }
}
# The first connection is attempted 15 s after the start.
expect_rows() {
  local expected=$1
  rows_are() { [ "$(rows)" = "$expected" ]; }
  wait_until 60 rows_are || fail "rows $(rows | od -c | head -5), expected $expected"
}

remove_installation  # of a run that was killed
case $case_name in
  silent_sqlite)
    command -v sqlite3 >/dev/null || skip "sqlite3 is not installed"
    install_silently /SIMDRIVER /SQLITE= "/BRANCH=Branch 7"
    expect_installed_files qelto-callerid.exe POS_CIDR.dll qelto-cidr-sim.exe uninstall.exe \
      Server_Config.dll
    expect_manual
    cmp -s "$bin_dir/POS_CIDR.dll" "$program_dir/POS_CIDR.dll" || fail "not our simulated driver"
    [ "$(settings_lines '2p;4p;10p')" = "sqlite:$work_dir_windows\\calls.sqlite"$'\n0\nBranch 7' ] \
      || fail "settings: $(settings_lines '1,$p')"
    expect_recorder_started
    [ "$(sim call 2 09121234567)" = OK ] || fail "qelto-cidr-sim call did not answer OK"
    expect_rows "2|09121234567|Branch 7"
    # Installing again over the running recorder (an upgrade): it is closed in order, replaced
    # and started again, and the settings stay.
    cp "$program_dir/Server_Config.dll" "$scratch/settings-before"
    install_silently /SIMDRIVER /SQLITE=elsewhere.sqlite
    cmp -s "$scratch/settings-before" "$program_dir/Server_Config.dll" || fail "an upgrade changed the settings"
    [ "$(grep -c 'Application Closed' "$work_dir/log.txt")" = 1 ] || fail "the upgrade did not close the recorder in order"
    started_twice() { [ "$(grep -c 'Application Started!' "$work_dir/log.txt")" = 2 ]; }
    wait_until 30 started_twice || fail "the recorder was not started again after the upgrade"
    [ "$(sim call 1 0)" = OK ] || fail "qelto-cidr-sim call did not answer OK after the upgrade"
    expect_rows $'2|09121234567|Branch 7\n1|0|Branch 7'
    expect_orderly_removal
    [ -f "$sqlite_db" ] && [ -f "$work_dir/calls-journal.txt" ] \
      || fail "the calls' SQLite file or the call journal was removed"
    # Closed in order, the SQLite file alone holds every call: a shop may copy it as a backup.
    [ ! -e "$sqlite_db-wal" ] || fail "calls.sqlite-wal stayed after the recorder was closed in order"
    [ ! -e "$program_dir/POS_CIDR.dll" ] || fail "our simulated driver stayed"
    expect_no_manual
    ;;
  silent_postgres)
    use_postgres
    install_silently /SIMDRIVER /SERVER=odbc:QeltoE2E /DATABASE=shop /LOGIN=sql /USER=recorder \
      /PASSWORD=pw /BRANCH=North
    expect_recorder_started
    [ "$(sim call 3 02188776655)" = OK ] || fail "qelto-cidr-sim call did not answer OK"
    expect_rows "3|02188776655|North"
    expect_orderly_removal
    ;;
  keeps_vendor_files)
    # A vendor's driver and the shop's settings already there: neither is touched, even when our
    # driver is asked for and other settings are given.
    mkdir -p "$program_dir"
    cp "$driver_dir/v2_1/POS_CIDR.dll" "$program_dir/"
    printf 'shop\r\nsqlite:C:\\ProgramData\\QELTO Caller ID\\shop.sqlite\r\nShop\r\n1\r\nsa\r\np;w"d\r\n' \
      >"$program_dir/Server_Config.dll"
    cp "$program_dir/POS_CIDR.dll" "$program_dir/Server_Config.dll" "$scratch/"
    install_silently /SIMDRIVER /SERVER=other /DATABASE=other
    cmp "$scratch/POS_CIDR.dll" "$program_dir/POS_CIDR.dll" || fail "the vendor's driver was changed"
    cmp "$scratch/Server_Config.dll" "$program_dir/Server_Config.dll" || fail "the settings were changed"
    expect_recorder_started
    expect_orderly_removal
    cmp "$scratch/POS_CIDR.dll" "$program_dir/POS_CIDR.dll" || fail "the uninstaller took the vendor's driver"
    ;;
  settings_text)
    # What the command line gives is written by position, a password with ';', quotes and a
    # space included; and a prepared settings file is copied as it is.
    # Incomplete settings stop a silent installation with exit code 2, before anything is written.
    status=0
    "$wine" "$setup" /S /NOSTART /SERVER=srv </dev/null >/dev/null 2>&1 || status=$?
    [ $status -eq 2 ] || fail "incomplete settings: exit code $status, expected 2"
    [ ! -e "$program_dir/qelto-callerid.exe" ] || fail "incomplete settings, yet the program was installed"
    remove_installation
    password="p;a'ss w\"x\\y"
    install_silently /NOSTART '/SERVER=.\SQLEXPRESS' /DATABASE=Shop /LOGIN=sql /USER=recorder \
      "/PASSWORD=$password" /BRANCH=12
    expected=$(printf '%s\n' '.\SQLEXPRESS' Shop 1 recorder "$password" '' '' '' 12)
    [ "$(settings_lines '2,10p')" = "$expected" ] || fail "settings: $(settings_lines '1,$p')"
    [ ! -e "$work_dir/log.txt" ] || fail "/NOSTART started the recorder"
    uninstall_silently
    remove_installation  # the kept settings too: a PC of its own
    printf 'prepared\r\n(local)\r\nShop\r\n0\r\nrecorder\r\n' >"$scratch/prepared.txt"
    install_silently /NOSTART "/SETTINGS=Z:${scratch//\//\\}\\prepared.txt"
    cmp "$scratch/prepared.txt" "$program_dir/Server_Config.dll" || fail "the prepared settings were not copied"
    uninstall_silently
    ;;
  uninstall_at_startup_box)
    # The recorder standing at a start-up box (no driver in the folder), before its main window
    # exists: the silent removal still ends it, and takes the program.
    install_silently /NOSTART
    (cd "$work_dir" && exec "$wine" "$program_dir/qelto-callerid.exe" </dev/null >/dev/null 2>&1) &
    recorder=$!
    wait_until 20 window_shown '^Error$' || fail "no start-up box"
    uninstall_silently
    recorder_gone() { ! kill -0 "$recorder" 2>/dev/null; }
    wait_until 10 recorder_gone || fail "the recorder still runs after the removal"
    ;;
  silent_modems)
    # Lists a silent installation refuses, with exit code 2, before it installs anything.
    for bad in COM3:1,COM4:1 COM3:1,com3:2 COM3:0 COM3 COM3: LPT1:1 COM0:1 COM256:1 COMX:1 \
               COM3:-1 COM3:1000000000 COM1:1,COM2:2,COM3:3,COM4:4,COM5:5,COM6:6,COM7:7,COM8:8,COM9:9 \
               'USB\VID_0572:1' 'USB\VID_0572&PID_1340\0001:1,usb\vid_0572&pid_1340\0001:2' \
               'USB\VID_0572&PID_1340\my modem:1'; do
      status=0
      "$wine" "$setup" /S /NOSTART "/MODEMS=$bad" </dev/null >/dev/null 2>&1 || status=$?
      [ $status -eq 2 ] || fail "/MODEMS=$bad: exit code $status, expected 2"
      [ ! -e "$program_dir/qelto-callerid.exe" ] || fail "/MODEMS=$bad, yet the program was installed"
    done
    # Lines the driver would give to a device the file keeps, not to the modem (it leaves the
    # modem out, "line N taken"), or more devices than it runs: refused the same way, and the file
    # stays as it was. file | option
    pbx_on_1=$'[device]\r\nkind = pbx\r\nhost = 10.0.0.5\r\nuser = qelto\r\nsecret = s\r\nline = 1\r\n'
    pbx_did=$'\xef\xbb\xbf# Notepad\'s mark first\r\n[device]\r\nline = 02\r\ndid_line = 0215 = 3\r\nkind = pbx\r\n'
    sims=$'[device]\nkind = sim\nline = 1\n[device]\nkind = sim\nline = 2\n[device]\nkind = sim\nline = 3\n'
    sims+=$'[device]\nkind = sim\nline = 4\n[device]\nkind = sim\nline = 5\n[device]\nkind = sim\nline = 6\n'
    sims+=$'[device]\nkind = modem\nport = COM1\nline = 7\n[device]\nkind = sim\nline = 8\n'
    while IFS='|' read -r file option; do
      remove_installation
      mkdir -p "$program_dir"
      printf '%s' "${!file}" >"$modems_conf"
      status=0
      "$wine" "$setup" /S /NOSTART "$option" </dev/null >/dev/null 2>&1 || status=$?
      [ $status -eq 2 ] || fail "$file, $option: exit code $status, expected 2"
      [ ! -e "$program_dir/qelto-callerid.exe" ] || fail "$file, $option, yet the program was installed"
      file_is "$modems_conf" "${!file}" || fail "$file, $option: POS_CIDR.conf was changed"
    done <<'TABLE'
pbx_on_1|/MODEMS=COM3:1
pbx_on_1|/MODEMS=COM4:2,COM3:1
pbx_did|/MODEMS=COM3:3
pbx_did|/MODEMS=COM3:2
sims|/MODEMS=COM3:9,COM4:10
TABLE
    # A file the shop edited: its other content stays when modems are chosen, and all of it when
    # none are. Its last line has no end.
    edited=$'# the shop\'s devices\nraw_log = C:\\calls\\modem-raw.txt\n\n[device]\nkind = modem\nport = COM1\nline = 1\n\n# the telephone system\n[device]\n  kind=pbx\nhost = 10.0.0.5\nline = 4\n\n[device]\nline = 5\n kind =  modem \nport = COM2'
    kept_part=$'# the shop\'s devices\nraw_log = C:\\calls\\modem-raw.txt\n\n# the telephone system\n[device]\n  kind=pbx\nhost = 10.0.0.5\nline = 4\n'
    # As Notepad saves it: a byte-order mark before the first section, which is a modem's. The
    # mark stays; the lines of the modems taken out are free, the telephone system's are not.
    notepad=$'\xef\xbb\xbf[device]\r\nkind = modem\r\nport = COM1\r\nline = 1\r\n\r\n[device]\r\nkind = pbx\r\nline = 3\r\n'
    notepad+=$'\r\n[other]\r\nline = 2\r\n'
    notepad_kept=$'\xef\xbb\xbf[device]\r\nkind = pbx\r\nline = 3\r\n\r\n[other]\r\nline = 2\r\n'
    # name | POS_CIDR.conf before ("-": none) | driver before | option | POS_CIDR.conf after:
    # "-" none, else the variable it starts with and the modems' ports and lines
    while IFS='|' read -r name before driver option after; do
      remove_installation
      mkdir -p "$program_dir"
      [ "$before" = - ] || printf '%s' "${!before}" >"$modems_conf"
      if [ "$driver" = vendor ]; then
        cp "$driver_dir/v2_1/POS_CIDR.dll" "$program_dir/" && cp "$program_dir/POS_CIDR.dll" "$scratch/"
      fi
      install_silently /NOSTART "$option"
      set -- $after
      expected=-
      [ "$after" = - ] || expected_conf "${!1}" "${@:2}"
      file_is "$modems_conf" "$expected" || fail "$name: POS_CIDR.conf $(od -c "$modems_conf" | head -20)"
      if [ "$driver" = vendor ]; then
        cmp -s "$scratch/POS_CIDR.dll" "$program_dir/POS_CIDR.dll" || fail "$name: the vendor's driver was changed"
      else
        cmp -s "$bin_dir/POS_CIDR.dll" "$program_dir/POS_CIDR.dll" || fail "$name: our driver was not installed"
      fi
      # The file as it was, beside the one written over it.
      if [ "$before" != - ] && [ "$1" != "$before" ]; then
        file_is "$modems_conf.old" "${!before}" || fail "$name: POS_CIDR.conf.old is not the file as it was"
      else
        file_is "$modems_conf.old" - || fail "$name: a POS_CIDR.conf.old was made"
      fi
    done <<'TABLE'
fresh|-|none|/MODEMS=COM3:1,com12:2|conf_header COM3 1 COM12 2
a USB modem by its identity|-|none|/MODEMS=USB\VID_0572&PID_1340\0001:1,COM4:2|conf_header USB\VID_0572&PID_1340\0001 1 COM4 2
untidy list|-|none|/MODEMS= com7 : 007 ,,COM10:12, |conf_header COM7 7 COM10 12
no modems: the file kept|edited|none|/SIMDRIVER|edited
replaced in an edited file|edited|none|/MODEMS=COM3:2|kept_part COM3 2
the lines of the modems replaced|edited|none|/MODEMS=COM3:1,COM4:5|kept_part COM3 1 COM4 5
a byte-order mark|notepad|none|/MODEMS=COM4:1,COM5:2|notepad_kept COM4 1 COM5 2
vendor's driver|-|vendor|/MODEMS=COM3:1|-
vendor's driver, the file kept|edited|vendor|/MODEMS=COM3:1|edited
TABLE
    # Our driver from before (known by the size recorded) is brought up to date by an upgrade,
    # asked for or not.
    remove_installation
    install_silently /NOSTART /SIMDRIVER
    printf 'X' | dd of="$program_dir/POS_CIDR.dll" bs=1 seek=100 conv=notrunc 2>/dev/null
    cmp -s "$bin_dir/POS_CIDR.dll" "$program_dir/POS_CIDR.dll" && fail "our driver was not changed for the upgrade"
    install_silently /NOSTART
    cmp -s "$bin_dir/POS_CIDR.dll" "$program_dir/POS_CIDR.dll" || fail "an upgrade kept our driver from before"
    ;;
  modem_page)
    # The page in both languages: a port Windows lists ticked with its line (a USB modem, written
    # by its identity), another typed; and with none listed, both typed. A /MODEMS= the
    # installation cannot take is shown on the page as it was given, with what is wrong, for the
    # shop to mend it there. The settings are there
    # already, so their page is skipped.
    machine_ports=$(serial_ports) || true  # none: Wine has no key for them
    cleanup_case() { restore_serial_ports "$machine_ports"; forget_usb_modem; remove_installation; }
    # A telephone system on line 1 kept in the file: the rows offer the lines after it.
    pbx_on_1=$'[device]\r\nkind = pbx\r\nhost = 10.0.0.5\r\nuser = qelto\r\nsecret = s\r\nline = 1\r\n'
    # language keys | ports Windows lists ("-": none) | the installer's title | screenshot |
    # option ("-": none) | POS_CIDR.conf before ("-": none) | after: the variable it starts with
    # and the modems' ports and lines
    while IFS='|' read -r language_keys listed title shot option before written; do
      if [ "$before" != - ]; then
        list_serial_ports $listed || skip "Wine has no serial ports' key here (no /dev/ttyS0?)"
        choose_modems() { keys space Tab Tab space; }  # both listed ports, at the lines offered
      elif [ "$option" != - ]; then
        list_serial_ports $listed || skip "Wine has no serial ports' key here (no /dev/ttyS0?)"
        choose_modems() { keys End; typed ':5'; }  # the field it is in has the focus
      elif [ "$listed" = - ]; then
        list_serial_ports || { echo "SKIP [$case_name/$shot]: Wine has no serial ports' key"; continue; }
        choose_modems() { typed 'COM5:3, com7:4'; }  # the field for them has the focus
      else
        list_serial_ports $listed || skip "Wine has no serial ports' key here (no /dev/ttyS0?)"
        # COM5's box has the focus, and Tab selects the text of a field.
        choose_modems() { keys space Tab; typed 3; keys Tab Tab Tab; typed 'com7:4'; }
      fi
      remove_installation
      mkdir -p "$program_dir"
      printf 'shop\r\nsqlite:calls.sqlite\r\n' >"$program_dir/Server_Config.dll"
      [ "$before" = - ] || printf '%s' "${!before}" >"$modems_conf"
      options=(/NOSTART)
      [ "$option" = - ] || options+=("$option")
      "$wine" "$setup" "${options[@]}" </dev/null >/dev/null 2>&1 &
      installer=$!
      shot_page language-$shot "^Installer Language$"
      keys $language_keys Return
      wait_until 15 window_shown "$title" || fail "no window '$title'"
      sleep 1
      keys Return  # the welcome
      sleep 1
      keys Return  # the components: nothing ticked, the modems tick our driver
      sleep 1
      keys Return  # the folder
      sleep 1
      choose_modems
      shot_page "$shot" "$title"
      keys Return
      wait_until 60 test -f "$program_dir/uninstall.exe" || fail "$shot: not installed from the page"
      installer_ended() { ! kill -0 "$installer" 2>/dev/null; }
      # The finish: on two busy cores the last steps may take longer than a fixed pause, and a
      # Return before the page is there is lost, so it is pressed until the installer ends.
      finished() { keys_to_page Return; wait_until 4 installer_ended; }
      wait_until 40 finished || fail "$shot: the installer did not end at Finish"
      set -- $written
      expected_conf "${!1}" "${@:2}"
      file_is "$modems_conf" "$expected" || fail "$shot: POS_CIDR.conf $(od -c "$modems_conf" | head -20)"
      cmp -s "$bin_dir/POS_CIDR.dll" "$program_dir/POS_CIDR.dll" || fail "$shot: our driver was not installed"
    done <<'TABLE'
Down|usb:COM5 COM12|نصب QELTO Caller ID|modems|-|-|conf_header USB\VID_0572&PID_1340\0001 3 COM7 4
Up|usb:COM5 COM12|QELTO Caller ID Setup|en-modems|-|-|conf_header USB\VID_0572&PID_1340\0001 3 COM7 4
Up|-|QELTO Caller ID Setup|en-modems-typed|-|-|conf_header COM5 3 COM7 4
Down|COM5 COM12|نصب QELTO Caller ID|modems-given-wrong|/MODEMS=COM7:4, COM9|-|conf_header COM7 4 COM9 5
Up|COM5 COM12|QELTO Caller ID Setup|en-modems-beside-pbx|-|pbx_on_1|pbx_on_1 COM5 2 COM12 3
TABLE
    ;;
  pages | pages_en)
    # A shop's installer at the PC: our driver ticked, SQL Server with its own login. In Persian,
    # and in English for the English manual's pictures (installer-en-*.png).
    if [ "$case_name" = pages ]; then
      shot='' language_keys=(Down Return)  # Persian, the second in the list
      title="نصب QELTO Caller ID" uninstall_title="حذف QELTO Caller ID"
    else
      shot=en- language_keys=(Return)
      title="QELTO Caller ID Setup" uninstall_title="QELTO Caller ID Uninstall"
    fi
    password="p;a'ss w\"x"
    "$wine" "$setup" </dev/null >/dev/null 2>&1 &
    shot_page "${shot}language" "^Installer Language$"
    keys "${language_keys[@]}"
    shot_page "${shot}welcome" "$title"
    keys Return
    shot_page "${shot}components-before" "$title"
    keys Down space  # the simulated driver
    shot_page "${shot}components" "$title"
    keys Return
    shot_page "${shot}folder" "$title"
    keys Return
    sleep 1  # the settings page: the server field has the focus
    typed '.\SQLEXPRESS'; keys Tab; typed Shop
    keys Tab Down Tab  # the SQL Server login
    typed recorder; keys Tab; typed "$password"; keys Tab; typed 12
    shot_page "${shot}settings" "$title"
    keys Return
    sleep 1  # the modems: none chosen
    keys Return
    wait_until 30 log_has "Application Started!" || fail "the recorder did not start"
    shot_page "${shot}finish" "$title"
    keys_to_page Return
    expected=$(printf '%s\n' '.\SQLEXPRESS' Shop 1 recorder "$password" '' '' '' 12)
    [ "$(settings_lines '2,10p')" = "$expected" ] || fail "settings: $(settings_lines '1,$p')"
    expect_installed_files qelto-callerid.exe POS_CIDR.dll qelto-cidr-sim.exe uninstall.exe
    expect_manual
    "$wine" "$program_dir/uninstall.exe" </dev/null >/dev/null 2>&1 &
    shot_page "${shot}uninstall-confirm" "$uninstall_title"
    keys_to_page Return
    wait_until 90 uninstalled || fail "the program is still there 90 s after uninstalling"
    shot_page "${shot}uninstall-finish" "$uninstall_title"
    keys_to_page Return
    installer_ended() { [ -z "$(in_this_prefix 'qelto-callerid-setup.exe|Un_A.exe')" ]; }
    wait_until 10 installer_ended || fail "the installer or the uninstaller did not end at Finish"
    wait_until 20 log_closed || fail "the log does not end with 'Application Closed' after uninstalling"
    [ -f "$program_dir/Server_Config.dll" ] || fail "the settings were removed"
    expect_no_manual
    ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
echo "PASS [$case_name]"
