#!/usr/bin/env bash
# End-to-end checks of the Windows recorder, qelto-callerid.exe, under Wine on a virtual display:
# the start-up boxes, the single instance, calls from the test driver recorded into SQLite and
# into PostgreSQL through Wine's odbc32, the tray icon with its blinking and its menu, the alerts,
# and the orderly ends. Screenshots go to BUILD_DIR/screenshots for a person to look at.
#
# Usage: windows_e2e.sh CASE BIN_DIR TEST_DRIVER_DIR
#   setup     prepares what the whole suite shares: a Wine prefix (made once per build, kept in
#             BIN_DIR/../wine-e2e), a virtual display and one wineserver that stays up
#   cleanup   ends the display and the wineserver
# Every other case needs setup first (ctest's fixture sees to it); they run one at a time.
# A step that fails unchecked ends the case, saying which: an exit code that is expected is taken
# with `|| code=$?` or `|| true`.
set -eEuo pipefail
case_name=$1 bin_dir=$(cd "$2" && pwd) driver_dir=$3
build_dir=$(cd "$bin_dir/.." && pwd)
state=$build_dir/wine-e2e
shots=$build_dir/screenshots
export WINEPREFIX=$state/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY

source "$(dirname "$0")/e2e_common.sh"

# --- Wine ------------------------------------------------------------------------------------
exe=$bin_dir/qelto-callerid.exe
[ -f "$exe" ] || fail "no $exe"
# wine64 runs 64-bit programs, and 32-bit ones through Wine's 32-bit loader where the kernel
# runs 32-bit code at all (not with its ia32 emulation switched off).
wine=${QELTO_WINE:-/usr/lib/wine/wine64}
export WINELOADER=$wine
[ -x "$wine" ] || skip "$wine is not installed"
if [ "$(pe_machine "$exe")" = 014c ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  skip "a 32-bit build cannot run here: this kernel runs no 32-bit programs (use the 64-bit build for the tests)"
fi
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xdotool >/dev/null || skip "xdotool is not installed"
command -v import >/dev/null || skip "ImageMagick is not installed"

# The display and the tray host outlive the setup: the cases after it share them. The tray host
# is where Wine docks its notification icons, each in a small window of its own, and paints every
# picture afresh (its own tray window draws a new picture over the old one).
case_setup() {
  mkdir -p "$state" "$shots"
  make_wine_prefix
  # Those of an earlier run, if any are left.
  for server in xvfb trayer; do
    [ ! -s "$state/$server.pid" ] || kill "$(cat "$state/$server.pid")" 2>/dev/null || true
  done
  wineserver -k 2>/dev/null || true
  start_xvfb "$state"
  start_trayer "$state"
  start_wine_services
  echo "PASS [$case_name]: prefix $WINEPREFIX, display $DISPLAY"
  exit 0
}

case_cleanup() {  # what is already gone is no failure
  wineserver -k 2>/dev/null || true
  # That of the installer's 32-bit prefix too, where its cases ran (windows_installer_e2e.sh).
  [ ! -d "$state/prefix-win32" ] || WINEPREFIX=$state/prefix-win32 wineserver -k 2>/dev/null || true
  for server in trayer xvfb; do
    [ ! -s "$state/$server.pid" ] || kill "$(cat "$state/$server.pid")" 2>/dev/null || true
  done
  rm -f "$state/display" "$state/xvfb.pid" "$state/trayer.pid"
  echo "PASS [$case_name]"
  exit 0
}

case $case_name in
  setup) case_setup ;;
  cleanup) case_cleanup ;;
esac
[ -s "$state/display" ] || fail "the suite is not set up: run the case 'setup' first"
export DISPLAY=:$(cat "$state/display")
mkdir -p "$shots"

# --- The recorder ------------------------------------------------------------------------------
recorder_file=$exe
driver_name=POS_CIDR.dll
our_driver=("$bin_dir/POS_CIDR.dll" "$bin_dir/qelto-cidr-sim.exe")
recorder=("$wine" "$scratch/app/qelto-callerid.exe")
# The recorder logs in the folder it starts in, $logs, unless it cannot write there.
script=$scratch/driver-script.txt
: >"$script"
export QELTO_TEST_DRIVER_SCRIPT=$script
driver() { echo "$*" >>"$script"; }  # a command for the test driver: call, plug, unplug
start_refused() { LC_ALL=fa_IR.UTF-8 start_recorder box; }  # as on a Persian Windows

# WM_CLOSE to the recorder's windows, as `taskkill` without /F sends it: the orderly shutdown.
# A taskkill that Wine could not start, or that found no window, sent nothing: it is tried once
# more, and its words are kept for the failure's report (taskkill.err).
send_close() {
  local try status
  for try in 1 2; do
    status=0
    "$wine" taskkill /IM qelto-callerid.exe </dev/null >>"$scratch/taskkill.err" 2>&1 || status=$?
    [ $status -eq 0 ] && return 0
    echo "taskkill, try $try: exit code $status" >>"$scratch/taskkill.err"
    sleep 1
    gone "$1" && return 0
  done
  return 0  # the recorder's end (expect_end) tells whether anything reached it
}
close_from_outside() {
  send_close "$1"
  expect_end "$1" 15 "taskkill"
  expect_closed_log
}

# --- What is on the screen ---------------------------------------------------------------------
shot() { import -window root "$shots/windows-$1.png" || fail "no screenshot $1"; }
shot_area() {  # shot_area NAME WIDTH HEIGHT X Y [SCALE%]
  import -window root "$scratch/screen.png" \
    && convert "$scratch/screen.png" -crop "${2}x${3}+${4}+${5}" +repage -scale "${6:-100}%" \
      "$shots/windows-$1.png" || fail "no screenshot $1"
}
shot_window() {  # shot_window NAME WINDOW: that window alone
  eval "$(xdotool getwindowgeometry --shell "$2" | sed 's/^/SHOT_/')"
  shot_area "$1" "$SHOT_WIDTH" "$SHOT_HEIGHT" "$SHOT_X" "$SHOT_Y"
}
shot_dialog() { shot_window "$1" "$(dialog_window)"; }  # the open message dialog
dialog_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$(dialog_window)" ]; }
visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }

# The tray icon: a small window of Wine's explorer.exe docked in the tray host. Its geometry
# lands in ICON_X, ICON_Y, ICON_WIDTH, ICON_HEIGHT; the tray host's in X, Y, WIDTH, HEIGHT.
icon_window() {
  local w
  for w in $(xdotool search --onlyvisible --classname explorer.exe 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w" | sed 's/^/ICON_/')"
    [ "$ICON_WIDTH" -lt 64 ] && [ "$ICON_X" -ge 0 ] && [ $((ICON_X + ICON_WIDTH)) -le 1024 ] \
      && { echo "$w"; return; }
  done
}
icon_shown() { [ -n "$(icon_window)" ]; }
icon_gone() { [ -z "$(icon_window)" ]; }
locate_icon() {
  wait_until 15 icon_shown || fail "no tray icon"
  eval "$(xdotool getwindowgeometry --shell "$(icon_window)" | sed 's/^/ICON_/')"
  local panel; panel=$(xdotool search --onlyvisible --class trayer 2>/dev/null | while read -r w; do
    [ "$(xdotool getwindowname "$w")" = panel ] && { echo "$w"; break; }; done) || true
  [ -n "$panel" ] || fail "no tray host panel"
  eval "$(xdotool getwindowgeometry --shell "$panel")"
}
icon_picture() {
  import -window root -crop "${ICON_WIDTH}x${ICON_HEIGHT}+${ICON_X}+${ICON_Y}" +repage "$1"
}
# Distinct pictures the icon showed over two seconds, told apart by their pixels: the blink
# alternates two of them.
icon_pictures() {
  for i in 1 2 3 4 5 6 7 8; do icon_picture "$scratch/icon$i.png"; sleep 0.25; done
  identify -format '%#\n' "$scratch"/icon*.png | sort -u | wc -l
}
# The pictures of one blink side by side, four times the size.
blink_strip() {
  local unique=() seen="" i sum
  for i in 1 2 3 4 5 6; do
    icon_picture "$scratch/blink$i.png"
    sum=$(identify -format '%#' "$scratch/blink$i.png")  # of the pixels alone
    [[ $seen == *"$sum"* ]] || { seen+=" $sum"; unique+=("$scratch/blink$i.png"); }
    sleep 0.2
  done
  convert "${unique[@]}" +append +repage -scale 400% "$shots/windows-$1.png" \
    || fail "no screenshot $1"
}
new_window() { comm -13 "$scratch/windows-before" <(visible_windows) | head -1; }
menu_open() { [ -n "$(new_window)" ]; }
# open_menu [SHOT]: right click on the icon; the menu's geometry lands in MENU_X, MENU_Y,
# MENU_WIDTH, MENU_HEIGHT. Its two items: the status window (the upper half), "EXIT" (the lower).
open_menu() {
  visible_windows >"$scratch/windows-before"
  xdotool mousemove $((ICON_X + ICON_WIDTH / 2)) $((ICON_Y + ICON_HEIGHT / 2)) click 3
  wait_until 5 menu_open || fail "the right click opened no menu"
  eval "$(xdotool getwindowgeometry --shell "$(new_window)" | sed 's/^/MENU_/')"
  # The tray host with the menu below the icon, twice the size.
  local left=$((MENU_X < X ? MENU_X : X)) right=$((MENU_X + MENU_WIDTH > X + WIDTH ? MENU_X + MENU_WIDTH : X + WIDTH))
  [ -z "${1:-}" ] || shot_area "$1" $((right - left)) $((MENU_Y + MENU_HEIGHT - Y + 4)) "$left" "$Y" 200
}
choose_exit() {  # right click on the icon, then "EXIT" in the menu: the exit question opens
  open_menu "${1:-}"
  xdotool mousemove $((MENU_X + MENU_WIDTH / 2)) $((MENU_Y + MENU_HEIGHT * 3 / 4)) click 1
  wait_until 5 dialog_open || fail "EXIT asked no question"
}
choose_status() {  # right click on the icon, then the status item: the status window is shown
  open_menu "${1:-}"
  xdotool mousemove $((MENU_X + MENU_WIDTH / 2)) $((MENU_Y + MENU_HEIGHT / 4)) click 1
  wait_until 5 status_shown || fail "the status item showed no status window"
}
# The status window as the technician sees it (tests/e2e_windows/status_window_probe.cpp).
status_probe() {
  "$wine" "$build_dir/tests/e2e_windows/qelto-status-window.exe" "$@" </dev/null 2>&1 | tr -d '\r'
}
status_shown() { status_probe read | grep -qx 'visible 1'; }
status_hidden() { status_probe read | grep -qx 'visible 0'; }
status_lists() { status_probe read | grep -q -- "$1"; }
status_windows() { xdotool search --onlyvisible --name '^وضعيت - ' 2>/dev/null | wc -l; }

answer_box_with_enter() {  # the start-up box: shown, captured, answered with Enter
  wait_until 15 box_shown || fail "no start-up box"
  grep -q "Error: $1" "$scratch/box.err" || fail "standard error lacks the box text '$1'"
  [ -z "${2:-}" ] || shot_window "$2" "$(box_window)"
  xdotool key Return
  expect_end "$pid" 10 "Enter on the start-up box"
  # Nobody sees a GUI program's standard error: the log says why it did not start, in the
  # Persian code page of a shop's Windows (start_refused).
  # (grep reads it all: with -q, iconv could be cut short, and pipefail would count that.)
  iconv -f CP1256 -t UTF-8 "$logs/log.txt" | grep -- " - $1" >/dev/null \
    || fail "the log lacks the box text '$1'"
  ! log_has "Application Started!" || fail "a refused start logged 'Application Started!'"
}

# --- A telephone system's manager interface ------------------------------------------------------
# start_ami PORT CALLER KEY: in the background (sets $ami), on 127.0.0.1:PORT, for the user qelto
# with the secret Sh0p-s3cret: greets, answers Challenge, Login (MD5) and Ping as Asterisk does,
# and after the login sends one incoming call from CALLER to 02155550001, keyed KEY. PORT 0 is any
# free one; a given PORT that another program holds is tried again until it is free. Once it
# listens, the port is in $ami_port.
start_ami() {
  : >"$scratch/ami.port"
  python3 - "$@" <<'PYTHON' >"$scratch/ami.port" 2>"$scratch/ami.err" &
import hashlib, socket, sys, time
port, caller, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
def channel(name, context, exten, unique):
    return ("Channel: %s\r\nChannelState: 4\r\nCallerIDNum: %s\r\nContext: %s\r\nExten: %s\r\n"
            "Uniqueid: %s\r\nLinkedid: %s.1\r\n" % (name, caller, context, exten, unique, key))
trunk = channel("PJSIP/provider-" + key, "from-trunk", "02155550001", key + ".1")
phone = channel("PJSIP/201-" + key, "from-internal", "201", key + ".2")
dest = "".join("Dest" + line + "\r\n" for line in phone.split("\r\n") if line)
call = ("Event: Newchannel\r\n" + trunk + "\r\nEvent: Newchannel\r\n" + phone +
        "\r\nEvent: DialBegin\r\n" + trunk + dest + "\r\nEvent: Hangup\r\n" + phone +
        "\r\nEvent: Hangup\r\n" + trunk + "\r\n")
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
for attempt in range(300):
    try:
        listener.bind(("127.0.0.1", port))
        break
    except OSError:
        time.sleep(0.1)
else:
    sys.exit("127.0.0.1:%d stayed taken for 30 s" % port)
listener.listen(1)
print(listener.getsockname()[1], flush=True)
while True:
    client, _ = listener.accept()
    client.sendall(b"Asterisk Call Manager/5.0.1\r\n")
    pending, challenge = b"", ""
    while True:
        data = client.recv(4096)
        if not data:
            break
        pending += data
        while b"\r\n\r\n" in pending:
            request, pending = pending.split(b"\r\n\r\n", 1)
            fields = dict(line.split(": ", 1) for line in request.decode().split("\r\n") if ": " in line)
            action, action_id = fields.get("Action"), fields.get("ActionID", "")
            if action == "Challenge":
                challenge = "840265317"
                answer = "Response: Success\r\nActionID: %s\r\nChallenge: %s\r\n\r\n" % (action_id, challenge)
            elif action == "Login":
                good = fields.get("Key") == hashlib.md5((challenge + "Sh0p-s3cret").encode()).hexdigest()
                answer = "Response: %s\r\nActionID: %s\r\n\r\n" % ("Success" if good else "Error", action_id)
                if good:
                    answer += call
            else:
                answer = "Response: Success\r\nActionID: %s\r\nPing: Pong\r\n\r\n" % action_id
            client.sendall(answer.encode())
    client.close()
PYTHON
  ami=$!
  pids+=("$ami")
  wait_until 40 test -s "$scratch/ami.port" || fail "the manager interface does not listen"
  read -r ami_port <"$scratch/ami.port"
}

# --- Databases -----------------------------------------------------------------------------------
# A relative SQLite path is taken from the working folder, not from the program's folder.
db=$scratch/work/calls.sqlite

source "$(dirname "$0")/e2e_postgres_lib.sh"

# sim ARGS...: runs qelto-cidr-sim.exe; its output (CR LF made LF) in $sim_out, its exit code in
# $sim_code. The tool always says something, so a failure without a word is a Wine that could not
# start it (and so did nothing): that is tried once more.
sim() {
  local try
  for try in 1 2; do
    sim_code=0
    "$wine" "$scratch/app/qelto-cidr-sim.exe" "$@" </dev/null >"$scratch/sim.out" 2>&1 || sim_code=$?
    sim_out=$(tr -d '\r' <"$scratch/sim.out")
    [ "$sim_code" = 0 ] || [ -n "$sim_out" ] && return
    echo "--- qelto-cidr-sim $* did not start under Wine (exit code $sim_code)" >&2
  done
}
# Fake caller-ID modems on this side (tests/drivers/modem/fake_modem_server_main.cpp, built for
# this machine): their pseudo-terminals behind links in the prefix's dosdevices folder are COM ports
# to Wine. `modem plug com5 vcid`, `modem send com5 HEX`, `modem unplug com5`.
start_modems() {
  local server=$build_dir/tests/drivers/fake_modem_host/fake-modem-server tcp_port
  [ -x "$server" ] || fail "no $server"
  coproc fake_modems { exec "$server" "$WINEPREFIX/dosdevices"; }
  pids+=("$fake_modems_PID")
  read -r tcp_port <&"${fake_modems[0]}" || fail "fake-modem-server did not start"
  exec {modem_socket}<>"/dev/tcp/127.0.0.1/$tcp_port" || fail "cannot reach fake-modem-server"
}
modem() {
  local reply
  echo "$*" >&"$modem_socket"
  read -r reply <&"$modem_socket"
  [ "${reply%% *}" = OK ] || fail "fake modem: $* -> $reply"
}
hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }

expect_sim() {  # expect_sim CODE OUTPUT ARGS...: exit code and the whole output (a glob)
  local code=$1 output=$2; shift 2
  sim "$@"
  [ "$sim_code" = "$code" ] || fail "qelto-cidr-sim $*: exit code $sim_code, not $code: $sim_out"
  # shellcheck disable=SC2053 # the expected output is a pattern
  [[ $sim_out == $output ]] || fail "qelto-cidr-sim $*: unexpected output: $sim_out"
}

not_installed="درايور دستگاه نصب نشده است"
outdated="درايور دستگاه بروز نيست"

case $case_name in
  no_driver)
    install_app none
    start_refused
    answer_box_with_enter "$not_installed" startup-box
    log_has 'app\\POS_CIDR.dll: ' || fail "the log lacks the loader's reason"
    ;;
  driver_in_working_folder)
    # Anyone may write the shop's working folder: a POS_CIDR.dll there is never loaded.
    install_app none
    cp "$driver_dir/v2_1/POS_CIDR.dll" "$scratch/work/" || fail "no test driver v2_1"
    start_refused
    answer_box_with_enter "$not_installed"
    ;;
  unwritable_working_folder)
    # A double click on the program in Program Files starts it in a folder its user may not write.
    command -v sqlite3 >/dev/null || skip "sqlite3 is not installed"
    chattr +i "$scratch/work" 2>/dev/null || skip "chattr +i is not allowed here"
    ! touch "$scratch/work/probe" 2>/dev/null || skip "an immutable folder is writable here"
    install_app v2_1
    driver plug
    key='HKLM\Software\QELTO\Caller ID' view=/reg:64
    [ "$(pe_machine "$exe")" = 014c ] && view=/reg:32
    reg() { "$wine" reg "$@" $view </dev/null >/dev/null 2>&1; }
    # 1. The installation's working folder, as the installer recorded it.
    logs=$scratch/installed && mkdir -p "$logs"
    reg add "$key" /v WorkingFolder /d "Z:${logs//\//\\}" /f || fail "cannot set the registry"
    db=$logs/calls.sqlite
    start_resident installed
    log_has "cannot be written; working in Z:.*installed" || fail "the log does not say where it works"
    driver call 2 09121234567
    wait_until 60 has_rows 1 || fail "the call was not written into the working folder's SQLite file"
    close_from_outside "$pid"
    # A restart by Windows names the working folder it had.
    logs=$scratch/restarted && mkdir -p "$logs"
    recorder_args=("/WORKDIR=Z:${logs//\//\\}")
    start_resident restarted
    ! log_has "cannot be written" || fail "the named working folder was not taken"
    close_from_outside "$pid"
    recorder_args=()
    reg delete "$key" /f || fail "cannot clear the registry"
    # 2. Without an installation: the user's local application data.
    local_data=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local | grep -v /Public/ | head -1)
    logs="$local_data/QELTO Caller ID"
    rm -rf "$logs"
    start_resident local
    close_from_outside "$pid"
    rm -rf "$logs"
    # 3. No folder at all: the shop is told, and the recorder runs on without log and journal.
    touch "$logs"
    start_recorder box
    wait_until 15 box_shown || { rm -f "$logs"; fail "no box about the unwritable folders"; }
    rm -f "$logs"
    grep -q "Error: پوشه اي براي گزارش" "$scratch/box.err" || fail "standard error lacks the box text"
    xdotool key Return
    sleep 2
    kill -0 "$pid" 2>/dev/null || fail "the recorder did not run on"
    send_close "$pid"
    expect_end "$pid" 15 "taskkill"
    ;;
  old_driver)
    install_app v1_9
    start_refused
    answer_box_with_enter "$outdated"
    ;;
  second_instance)
    install_app v2_1
    driver plug
    start_resident first
    first=$pid
    start_recorder second
    expect_end "$pid" 20 "a second start"
    [ "$(log_count "Application Started!")" -eq 1 ] || fail "the second instance wrote to the log"
    kill -0 "$first" || fail "the second start ended the first"
    close_from_outside "$first"
    ;;
  sqlite_records_calls)
    command -v sqlite3 >/dev/null || skip "sqlite3 is not installed"
    install_app v2_1
    driver plug
    start_resident rec
    driver call 2 09121234567
    driver call 1 0
    # The first connection is attempted 15 s after start.
    wait_until 50 has_rows 2 || fail "calls not written within 50 s: $(rows)"
    [ "$(rows)" = $'1|2|09121234567|\n2|1|0|' ] || fail "unexpected rows: $(rows)"
    # Connected, and the device there: the blink shows the good status icon.
    locate_icon
    blink_strip tray-blink
    close_from_outside "$pid"
    ;;
  postgres_records_calls)
    install_app v2_1
    use_postgres "varchar(20)" "Tehran 'North'"
    driver plug
    start_resident rec
    driver call 3 02188776655
    driver call 1 09350001122
    wait_until 50 has_rows 2 || fail "calls not written within 50 s: $(tail -3 "$scratch/work/log.txt")"
    [ "$(rows)" = $'1|3|02188776655|Tehran \'North\'\n2|1|09350001122|Tehran \'North\'' ] \
      || fail "unexpected rows: $(rows)"
    close_from_outside "$pid"
    ;;
  session_end)
    # The end of the Windows session: WM_QUERYENDSESSION and WM_ENDSESSION to every program.
    install_app v2_1
    driver plug
    start_resident rec
    "$wine" wineboot --end-session </dev/null >/dev/null 2>&1
    expect_end "$pid" 15 "the end of the session"
    expect_closed_log
    # The session's end took Wine's own services (and its tray window) with it: a fresh server
    # and fresh services for the cases that follow.
    wineserver -k 2>/dev/null || true  # it may have ended with the session
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1 || true  # exit code 2: one runs already
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  tray_menu_exit)
    install_app v2_1
    driver plug
    start_resident rec
    locate_icon
    [ "$(icon_pictures)" -ge 2 ] || fail "the tray icon does not blink"
    shot tray
    shot_area tray-zoomed "$WIDTH" "$HEIGHT" "$X" "$Y" 300
    choose_exit menu
    grep -q "message 9876: ايا مايل به خروج از برنامه هستيد؟" "$scratch/rec.err" || fail "not the exit question"
    shot_dialog exit-question
    xdotool key Escape  # No
    wait_until 10 dialog_closed || fail "Escape did not answer No"
    sleep 1
    kill -0 "$pid" || fail "No ended the program"
    choose_exit
    xdotool key Return  # Yes, the focused button
    expect_end "$pid" 10 "Yes to the exit question"
    expect_closed_log
    wait_until 5 icon_gone || fail "the tray icon stayed after the end"
    ;;
  device_alert)
    install_app v2_1
    driver plug
    start_resident rec
    driver unplug
    # The alert opens once the device has been missing for more than 15 s.
    wait_until 60 dialog_open || fail "no device alert within 60 s of unplugging"
    grep -q "message 2345: مشکل در اتصال دستگاه کالرآيدي" "$scratch/rec.err" || fail "not the device alert"
    shot_dialog alert-device
    driver plug
    wait_until 10 dialog_closed || fail "the device alert stayed after the device came back"
    log_has "SLine 1 unplugged" || fail "the status event was not logged"
    close_from_outside "$pid"
    ;;
  our_driver)
    # Our POS_CIDR.dll driven by qelto-cidr-sim.exe through the user's own pipe (its default
    # name: this suite has a wineserver, and so a pipe namespace, of its own).
    command -v sqlite3 >/dev/null || skip "sqlite3 is not installed"
    unset QELTO_CIDR_SIM_SOCKET QELTO_CIDR_SIM_DEVICES
    install_app sim
    start_resident rec
    wait_until 10 log_has "SSimulator started: 1 of 1 devices connected" \
      || fail "no start event of the simulator"
    expect_sim 0 $'POS CID Simulator\nVER 2.1\nPorts 1\nDevices\nLine 1: Connected\nOK' info
    expect_sim 0 OK call 2 09121234567
    expect_sim 0 OK status Line busy
    expect_sim 2 'qelto-cidr-sim: LINE must be*' call 0
    expect_sim 1 'ERROR no device 2: the simulator has 1' unplug 2
    expect_sim 0 OK unplug
    wait_until 50 has_rows 1 || fail "the call was not written within 50 s: $(rows)"
    [ "$(rows)" = '1|2|09121234567|' ] || fail "unexpected rows: $(rows)"
    log_has "SLine busy" || fail "the status event was not logged"
    log_has "SDevice 1 disconnected" || fail "the unplugging was not logged"
    # The alert opens once the device has been missing for more than 15 s.
    wait_until 60 dialog_open || fail "no device alert within 60 s of unplugging"
    grep -q "message 2345: مشکل در اتصال دستگاه کالرآيدي" "$scratch/rec.err" || fail "not the device alert"
    expect_sim 0 OK plug
    wait_until 10 dialog_closed || fail "the device alert stayed after plug"
    log_has "SDevice 1 connected" || fail "the plugging was not logged"
    close_from_outside "$pid"
    expect_sim 1 '*no running caller-ID simulator at \\\\.\\pipe\\qelto-cidr-sim-*-S-1-5-*: is qelto-callerid running?*' info
    ;;
  our_driver_pbx)
    # Our POS_CIDR.dll with a telephone system: a manager interface of the test's own on loopback
    # takes the driver's MD5 login and sends an incoming call; switched off, the device alert
    # opens; back, the alert goes and the next call is recorded.
    command -v sqlite3 >/dev/null || skip "sqlite3 is not installed"
    command -v python3 >/dev/null || skip "python3 is not installed"
    unset QELTO_CIDR_SIM_SOCKET QELTO_CIDR_SIM_DEVICES
    install_app sim
    # A port of its own, held from the start: the system's second start takes the same again.
    start_ami 0 09121234567 1700000001
    port=$ami_port
    printf '[device]\r\nkind = pbx\r\nhost = 127.0.0.1\r\nport = %s\r\nuser = qelto\r\nsecret = Sh0p-s3cret\r\nline = 4\r\ndid_line = 02155550001 = 5\r\n' \
      "$port" >"$scratch/app/POS_CIDR.conf"
    start_resident rec
    wait_until 30 log_has "SLine 4: pbx ready at 127.0.0.1:$port as qelto" \
      || fail "the driver did not log in"
    wait_until 60 has_rows 1 || fail "the call was not written within 60 s: $(rows)"
    [ "$(rows)" = '1|5|09121234567|' ] || fail "unexpected rows: $(rows)"
    kill "$ami"
    wait_until 10 log_has "SLine 4: pbx lost at 127.0.0.1:$port (" || fail "the loss was not logged"
    # The alert opens once the device has been missing for more than 15 s.
    wait_until 60 dialog_open || fail "no device alert within 60 s of the system's end"
    start_ami "$port" 02188887777 1700000002
    wait_until 40 dialog_closed || fail "the device alert stayed after the system came back"
    [ "$(log_count "SLine 4: pbx ready at 127.0.0.1:$port as qelto")" = 2 ] \
      || fail "not logged in again"
    wait_until 50 has_rows 2 || fail "the second call was not written within 50 s: $(rows)"
    [ "$(rows | tail -1)" = '2|5|02188887777|' ] || fail "unexpected rows: $(rows)"
    close_from_outside "$pid"
    ;;
  our_driver_modem)
    # Our POS_CIDR.dll with a caller-ID modem on COM5, as a shop configures it: a call, a
    # withheld number (written as 0), the modem unplugged (the alert) and plugged in again.
    command -v sqlite3 >/dev/null || skip "sqlite3 is not installed"
    unset QELTO_CIDR_SIM_SOCKET QELTO_CIDR_SIM_DEVICES
    install_app sim
    printf 'raw_log = modem-raw.txt\r\n[device]\r\nkind = modem\r\nport = COM5\r\nline = 1\r\n' \
      >"$scratch/app/POS_CIDR.conf"
    start_modems
    modem plug com5 vcid
    start_resident rec
    ready="SLine 1: modem ready at COM5, caller ID on (AT+VCID=1)"
    wait_until 30 log_has "$ready" || fail "the modem was not set up"
    expect_sim 0 $'POS CID Modems\nVER 2.1\nPorts 1\nDevices\nLine 1 modem COM5: Connected\nOK' info
    modem send com5 "$(hex $'RING\r\n\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 09121234567\r\n\r\nRING\r\n')"
    wait_until 50 has_rows 1 || fail "the call was not written within 50 s: $(rows)"
    [ "$(rows)" = '1|1|09121234567|' ] || fail "unexpected rows: $(rows)"
    modem send com5 "$(hex $'RING\r\nDATE = 0321\r\nTIME = 1406\r\nNMBR = P\r\nRING\r\n')"
    wait_until 50 has_rows 2 || fail "the withheld call was not written within 50 s: $(rows)"
    [ "$(rows | tail -1)" = '2|1|0|' ] || fail "unexpected rows: $(rows)"
    modem unplug com5
    wait_until 15 log_has "SLine 1: modem lost at COM5 (" || fail "the loss was not logged"
    expect_sim 0 '*Line 1 modem COM5: Disconnected*' info
    wait_until 60 dialog_open || fail "no device alert within 60 s of unplugging"
    modem plug com5 vcid
    ready_again() { [ "$(log_count "$ready")" = 2 ]; }
    wait_until 20 ready_again || fail "not ready again after the re-plug"
    wait_until 10 dialog_closed || fail "the device alert stayed after the re-plug"
    grep -q ' line 1 # opened COM5' "$scratch/app/modem-raw.txt" || fail "no raw data file"
    cp "$logs/log.txt" "$shots/windows-modem-log.txt"
    close_from_outside "$pid"
    modem unplug com5
    ;;
  our_driver_modem_moved)
    # A USB modem named in POS_CIDR.conf by its identity (register_usb_modem): at COM5 it records
    # a call; put into another USB socket it is given COM9, where the driver finds it after the
    # loss, and the next call is recorded too.
    command -v sqlite3 >/dev/null || skip "sqlite3 is not installed"
    unset QELTO_CIDR_SIM_SOCKET QELTO_CIDR_SIM_DEVICES
    cleanup_case() { forget_usb_modem; }
    forget_usb_modem
    install_app sim
    printf 'raw_log = modem-raw.txt\r\n[device]\r\nkind = modem\r\nport = %s\r\nline = 1\r\n' \
      "$usb_modem_identity" >"$scratch/app/POS_CIDR.conf"
    register_usb_modem COM5
    # A pattern, where a backslash stands for itself doubled.
    expect_sim 0 $'COM5\tUSB Modem (COM5)\tUSB\\\\VID_0572&PID_1340\\\\0001\n*' ports
    start_modems
    modem plug com5 vcid
    start_resident rec
    in_log='USB\\VID_0572&PID_1340\\0001'  # the identity as a pattern of grep's
    ready="SLine 1: modem ready at $in_log, caller ID on (AT+VCID=1)"
    wait_until 30 log_has "$ready" || fail "the modem was not found at COM5"
    log_has "SLine 1: modem $in_log found at COM5" || fail "where the modem was found was not logged"
    modem send com5 "$(hex $'RING\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 09121234567\r\nRING\r\n')"
    wait_until 50 has_rows 1 || fail "the call at COM5 was not written within 50 s: $(rows)"
    # Unplugged: Windows lists it no more.
    forget_usb_modem
    modem unplug com5
    wait_until 15 log_has "SLine 1: modem lost at $in_log (" || fail "the loss was not logged"
    wait_until 20 log_has "SLine 1: modem unavailable at $in_log (not plugged in), retrying" \
      || fail "the modem's absence was not logged"
    register_usb_modem COM9
    modem plug com9 vcid
    ready_again() { [ "$(log_count "$ready")" = 2 ]; }
    wait_until 30 ready_again || fail "the modem was not found again at COM9: $(tail -3 "$logs/log.txt")"
    log_has "SLine 1: modem $in_log found at COM9" || fail "the modem's new port was not logged"
    modem send com9 "$(hex $'RING\r\nDATE = 0321\r\nTIME = 1407\r\nNMBR = 02188776655\r\nRING\r\n')"
    wait_until 50 has_rows 2 || fail "the call at COM9 was not written within 50 s: $(rows)"
    sleep 2  # time for a call written twice to show
    [ "$(rows)" = $'1|1|09121234567|\n2|1|02188776655|' ] || fail "unexpected rows: $(rows)"
    cp "$logs/log.txt" "$shots/windows-modem-moved-log.txt"
    close_from_outside "$pid"
    modem unplug com9
    ;;
  database_alert)
    install_app v2_1
    # A data source that does not exist: every connection attempt fails at once.
    printf 'e2e\nodbc:NoSuchDataSource\nShop\n0\nrecorder\n' >"$scratch/app/Server_Config.dll"
    driver plug
    start_resident rec
    # Attempts at 15, 30 and 45 s; the alert opens on the tick after the third.
    wait_until 150 dialog_open || fail "no database alert within 150 s"
    grep -q "message 1234: خطا در ارتباط با بانک اطلاعاتي" "$scratch/rec.err" || fail "not the database alert"
    shot_dialog alert-database
    xdotool key Return  # OK
    wait_until 10 dialog_closed || fail "OK did not close the database alert"
    close_from_outside "$pid"
    ;;
  close_during_device_alert | close_during_database_alert)
    # WM_CLOSE to the main window alone, as the installer sends it before an upgrade: it arrives
    # in the modal loop of the open alert, with the tick that opened the alert waiting in it.
    install_app v2_1
    if [ "$case_name" = close_during_database_alert ]; then
      printf 'e2e\nodbc:NoSuchDataSource\nShop\n0\nrecorder\n' >"$scratch/app/Server_Config.dll"
      id=1234 within=150  # attempts at 15, 30 and 45 s
    else
      id=2345 within=60
    fi
    driver plug
    start_resident rec
    [ $id = 2345 ] && driver unplug
    wait_until $within dialog_open || fail "no alert $id within $within s"
    grep -q "message $id:" "$scratch/rec.err" || fail "not the alert $id"
    "$wine" "$build_dir/tests/e2e_windows/qelto-close-window.exe" </dev/null >/dev/null 2>&1 \
      || fail "the recorder's main window did not take WM_CLOSE"
    expect_end "$pid" 15 "WM_CLOSE during the alert"
    expect_closed_log
    wait_until 5 icon_gone || fail "the tray icon stayed after the end"
    ;;
  journal_lock_held)
    # Another program holds the folder's journal lock: this one ends at once, records nothing,
    # and the log says why. (A recorder holding the lock also holds its log against writing:
    # then nothing can be said there.)
    install_app v2_1
    printf '2026-12-09 10:00:00 - a line of the other recorder\r\n' >"$logs/log.txt"
    (exec "$wine" "$build_dir/tests/e2e_windows/qelto-hold-file.exe" \
      "Z:${scratch//\//\\}\\work\\calls-journal.lock" 60 </dev/null \
      >"$scratch/holder.out" 2>/dev/null) &
    pids+=($!)
    wait_until 20 grep -q held "$scratch/holder.out" || fail "the lock's holder did not start"
    start_recorder rec
    expect_end "$pid" 20 "a start in a folder whose lock is held"
    log_has "calls-journal.lock in .* is held by another process: another recorder records" \
      || fail "the log does not say why the recorder ended"
    log_has "Application Started!" && fail "the recorder started in a folder held by another"
    log_has "a line of the other recorder" || fail "the other recorder's log was emptied"
    ;;
  status_window)
    # The status window from the tray menu, with our simulated driver: one window however often
    # it is chosen, the database and the device in it, a call placed while it is open listed on
    # the next ticks, the support report written and on the clipboard without the password or
    # the driver's secret; closed, it is hidden; opened over the device alert, it shows the line
    # lost, while EXIT does nothing until the alert has gone.
    unset QELTO_CIDR_SIM_SOCKET QELTO_CIDR_SIM_DEVICES
    install_app sim
    password='Pa55-w0rd-e2e' secret='Sh0p-s3cret-e2e'
    printf 'e2e\nsqlite:calls.sqlite\nShop\n1\nrecorder\n%s\n' "$password" \
      >"$scratch/app/Server_Config.dll"
    printf '[device]\r\nkind = sim\r\nline = 2\r\n# the telephone system: secret = %s\r\n' \
      "$secret" >"$scratch/app/POS_CIDR.conf"
    start_resident rec
    wait_until 10 log_has "1 of 1 devices connected" || fail "no start event of the driver"
    locate_icon
    choose_status status-menu
    choose_status
    [ "$(status_windows)" = 1 ] || fail "not one status window: $(status_windows)"
    wait_until 5 status_lists 'Line 2' || fail "the device's line is not shown: $(status_probe read)"
    started=$(date +%s%N)
    expect_sim 0 OK call 2 09121234567
    wait_until 10 status_lists '| 2 | 09121234567 |' \
      || fail "the call is not listed 10 s after it was placed: $(status_probe read)"
    echo "the call was listed $(( ($(date +%s%N) - started) / 1000000 )) ms after it was placed" \
      "(goal: within a second; qelto-cidr-sim's own start under Wine included)"
    report=$scratch/work/support-report.txt
    status_probe report >/dev/null
    wait_until 10 test -s "$report" || fail "no support report in the working folder"
    wait_until 5 status_lists "support-report.txt$" \
      || fail "the window does not say where the report is: $(status_probe read)"
    # The manual's picture: the call, the device back, the report written.
    shot_window status-window "$(xdotool search --onlyvisible --name '^وضعيت - ' | head -1)"
    cp "$report" "$shots/windows-support-report.txt"  # for a person to read
    grep -q 09121234567 "$report" || fail "the report lacks the call"
    grep -q "Application Started!" "$report" || fail "the report lacks the log's end"
    for hidden in "$password" "$secret"; do
      ! grep -qF -- "$hidden" "$report" || fail "the report holds '$hidden'"
    done
    # The same text on the clipboard, as another program of the session reads it.
    status_probe clipboard >"$scratch/clipboard.txt" || fail "nothing on the clipboard"
    cmp -s <(tail -c +4 "$report" | tr -d '\r') <(tr -d '\r' <"$scratch/clipboard.txt") \
      || fail "the clipboard does not hold the report: $(head -c 300 "$scratch/clipboard.txt")"
    status_probe close >/dev/null  # WM_CLOSE, as from its close box
    wait_until 5 status_hidden || fail "closing the status window did not hide it"
    # The device unplugged: the alert opens, and the menu opens the window over it, showing the
    # line lost; EXIT does nothing while the alert is open. Plugged again, the line is back.
    expect_sim 0 OK unplug
    wait_until 60 dialog_open || fail "no device alert within 60 s of unplugging"
    choose_status
    wait_until 5 status_lists '^Line 2 sim 1 | قطع$' \
      || fail "the unplugged device is not shown lost: $(status_probe read)"
    open_menu
    xdotool mousemove $((MENU_X + MENU_WIDTH / 2)) $((MENU_Y + MENU_HEIGHT * 3 / 4)) click 1
    sleep 1
    ! grep -q "message 9876" "$scratch/rec.err" || fail "EXIT asked its question over the alert"
    kill -0 "$pid" || fail "EXIT over the alert ended the recorder"
    expect_sim 0 OK plug
    wait_until 10 dialog_closed || fail "the device alert stayed after plug"
    wait_until 5 status_lists '^Line 2 sim 1 | وصل$' \
      || fail "the device plugged again is not shown connected: $(status_probe read)"
    status_probe close >/dev/null
    wait_until 5 status_hidden || fail "closing the status window did not hide it"
    choose_exit
    # The question takes the keyboard from the status window it came after: Return before that
    # would go to the hidden window.
    wait_until 5 dialog_focused || fail "the exit question did not take the keyboard"
    xdotool key Return  # Yes
    expect_end "$pid" 10 "Yes to the exit question"
    expect_closed_log
    ;;
  status_window_scales)
    # The status window's unit test, on the suite's display (it skips itself without one), with
    # its pictures at 100 % and 150 % (windows-status-window-DPI-CALLS.png). A skip is a failure.
    QELTO_SCREENSHOT_DIR="Z:${scratch//\//\\}" "$wine" "$build_dir/tests/ui/qelto_win_gui_tests.exe" \
      --gtest_filter='Scales/StatusWindowTest.*' </dev/null >"$scratch/gtest.out" 2>&1 \
      || fail "$(tr -d '\r' <"$scratch/gtest.out" | tail -15)"
    grep -q '^\[  PASSED  \] 3 tests' "$scratch/gtest.out" \
      || fail "the status window's test did not run: $(tr -d '\r' <"$scratch/gtest.out" | tail -5)"
    for picture in "$scratch"/status-window-*.bmp; do
      convert "$picture" "$shots/windows-$(basename "$picture" .bmp).png" || fail "no picture $picture"
    done
    ;;
  alert_in_front)
    # The alert's place among other windows can only be seen on a display: its unit test, which
    # skips itself without one, run here on the suite's display. A skip is a failure here.
    "$wine" "$build_dir/tests/ui/qelto_win_gui_tests.exe" --gtest_filter='MessageForm.*' \
      </dev/null >"$scratch/gtest.out" 2>&1 || fail "$(tr -d '\r' <"$scratch/gtest.out" | tail -15)"
    grep -q '^\[  PASSED  \] 1 test' "$scratch/gtest.out" \
      || fail "the alert's test did not run: $(tr -d '\r' <"$scratch/gtest.out" | tail -5)"
    ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
echo "PASS [$case_name]"
