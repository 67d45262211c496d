# The helpers of every end-to-end script, on Linux (through e2e_lib.sh) and under Wine. Sourced,
# with case_name set, by scripts that run with set -eEuo pipefail: a step that fails unchecked ends
# the case, saying which (an exit code that is expected is taken with `|| code=$?` or `|| true`).
# Before it installs or starts the recorder a script sets recorder_file (the built recorder),
# driver_name (the driver library's file name), our_driver (our simulated driver's files, an array)
# and recorder (the command that runs the installed recorder, an array). It may set recorder_args,
# logs (the recorder's log folder), wait_poll (seconds between two looks, 0.1), and the functions
# fail_details (more for a failure's report) and cleanup_case (what the case leaves, taken away).
scratch=$(mktemp -d /tmp/qelto-e2e.XXXXXX)
pids=()
recorder_args=()
logs=$scratch/work
mkdir -p "$scratch/app" "$scratch/work"
cleanup() {  # whatever is already gone: the clean-up goes on
  trap - ERR
  set +e
  disown -a  # their end is no news
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
  ! declare -F cleanup_case >/dev/null || cleanup_case
  chattr -i "$scratch/work" 2>/dev/null  # a case that made it immutable
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL [$case_name]: $*" >&2
  ! declare -F fail_details >/dev/null || fail_details >&2
  for f in "$logs/log.txt" "$scratch"/*.err; do [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }; done
  exit 1
}
skip() { echo "SKIP [$case_name]: $*"; exit 77; }
# In the script itself; a subshell's failure is its exit code, for the script to check.
step_failed() { [ "$BASH_SUBSHELL" -ne 0 ] || fail "$2: '$3' failed with exit code $1"; }
trap 'step_failed $? "${BASH_SOURCE[0]##*/}:$LINENO" "$BASH_COMMAND"' ERR

# wait_until SECONDS COMMAND...: polls every $wait_poll seconds. Each budget is at least three
# times what its step takes alone, so that a loaded machine (a parallel build, CI) still passes;
# it costs nothing when the step succeeds.
wait_until() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -ge $deadline ] && return 1; sleep "${wait_poll:-0.1}"; done
}
gone() { ! kill -0 "$1" 2>/dev/null; }
reap() { code=0; wait "$1" || code=$?; }  # reap PID: its exit code in $code
kill9() {  # kill9 PID: killed, after running until then (not ended by itself, by a crash)
  kill -9 "$1"
  reap "$1"
  [ "$code" -eq 137 ] || fail "process $1 had ended before kill -9, with exit code $code"
}

# --- The recorder's log ------------------------------------------------------------------------
log_has() { grep -q -- "$1" "$logs/log.txt" 2>/dev/null; }
log_count() { local n; n=$(grep -c -- "$1" "$logs/log.txt" 2>/dev/null) || true; echo "${n:-0}"; }
started_more_than() { [ "$(log_count "Application Started!")" -gt "$1" ]; }
last_log_line() { tail -1 "$logs/log.txt" 2>/dev/null | tr -d '\r' | sed 's/^.\{22\}//'; }
log_closed() { [ "$(last_log_line)" = "Application Closed" ]; }
expect_closed_log() { log_closed || fail "the log does not end with 'Application Closed'"; }

# The calls in the SQLite file $db.
rows() { sqlite3 -separator '|' "$db" "SELECT IdNumber, LineNumber, TotalNumber, BranchCode FROM Pos_Calls ORDER BY IdNumber" 2>/dev/null; }
row_count() { sqlite3 "$db" "SELECT COUNT(*) FROM Pos_Calls" 2>/dev/null || echo 0; }
has_rows() { [ "$(row_count)" -ge "$1" ]; }

# --- The recorder --------------------------------------------------------------------------------
install_app() {  # install_app DRIVER_VARIANT|none|sim (ours)
  cp "$recorder_file" "$scratch/app/" || fail "no recorder $recorder_file"
  printf 'e2e\nsqlite:calls.sqlite\nShop\n0\nrecorder\n' >"$scratch/app/Server_Config.dll"
  case $1 in
    none) ;;
    sim) cp "${our_driver[@]}" "$scratch/app/" || fail "not all of ${our_driver[*]} are built" ;;
    *) cp "$driver_dir/$1/$driver_name" "$scratch/app/" || fail "no test driver $1 in $driver_dir" ;;
  esac
}

# start_recorder NAME [PREFIX...]: in the background, in the working folder, its standard error in
# $scratch/NAME.err; PREFIX (env ...) runs it. Sets $pid.
start_recorder() {
  local name=$1; shift
  (cd "$scratch/work" && exec "$@" "${recorder[@]}" "${recorder_args[@]}" </dev/null >/dev/null \
    2>"$scratch/$name.err") &
  pid=$!
  pids+=("$pid")
}
start_resident() {  # start_resident NAME [PREFIX...]: started, and its log says so
  local starts_before; starts_before=$(log_count "Application Started!")
  start_recorder "$@"
  wait_until 20 started_more_than "$starts_before" || fail "no new 'Application Started!' in the log"
}
expect_end() {  # expect_end PID SECONDS WHY: ends by itself with exit code 0
  wait_until "$2" gone "$1" || fail "still running $2 s after $3"
  reap "$1"
  [ $code -eq 0 ] || fail "exit code $code after $3"
}

# --- What is on the screen -----------------------------------------------------------------------
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
window_shown() { [ -n "$(window_named "$1")" ]; }
box_window() { window_named '^Error'; }
box_shown() { [ -n "$(box_window)" ]; }
dialog_window() { window_named "پيغام"; }  # the recorder's message dialog
dialog_open() { [ -n "$(dialog_window)" ]; }
dialog_closed() { [ -z "$(dialog_window)" ]; }

# start_xvfb [FOLDER]: a virtual display of our own, in $DISPLAY. With FOLDER it outlives the
# script, in a session of its own, its number in FOLDER/display and its process in FOLDER/xvfb.pid;
# otherwise it ends with the case. Two tests starting one at the same moment can both pick the
# same free display number, and one of the two servers then gives up: start again in that case.
start_xvfb() {
  command -v Xvfb >/dev/null || skip "Xvfb is not installed"
  local folder=${1:-$scratch} attempt xvfb_pid
  xvfb_answered() { [ -s "$folder/display" ] || gone "$xvfb_pid"; }
  for attempt in 1 2 3 4 5; do
    rm -f "$folder/display"
    # With every output elsewhere, so ctest does not wait for it; setsid execs Xvfb in place.
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$folder/display" \
      </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    if [ $# -eq 0 ]; then pids+=("$xvfb_pid"); else echo "$xvfb_pid" >"$folder/xvfb.pid"; fi
    if wait_until 10 xvfb_answered && [ -s "$folder/display" ]; then
      DISPLAY=:$(tr -d '\n' <"$folder/display")
      export DISPLAY
      echo "${DISPLAY#:}" >"$folder/display"
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null || true  # it may have given up by itself
    sleep "0.$((RANDOM % 9 + 1))"
  done
  fail "Xvfb gave no display number in $attempt attempts"
}

# start_trayer [FOLDER]: a tray host on the display, where the tray icons dock; with FOLDER it
# outlives the script, its process in FOLDER/trayer.pid.
trayer_up() { xdotool search --class trayer >/dev/null 2>&1; }
start_trayer() {
  local attempt
  for attempt in 1 2 3; do
    setsid trayer --edge top --align right --widthtype pixel --width 160 --height 32 \
      </dev/null >>"$scratch/trayer.err" 2>&1 &
    if [ $# -eq 0 ]; then pids+=($!); else echo $! >"$1/trayer.pid"; fi
    wait_until 10 trayer_up && return 0
    kill $! 2>/dev/null || true
  done
  fail "trayer did not start: $(tail -3 "$scratch/trayer.err")"
}

# --- Wine ----------------------------------------------------------------------------------------
pe_machine() {  # pe_machine FILE: prints 014c (i386) or 8664 (x86-64)
  local header; header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}
# make_wine_prefix: $WINEPREFIX for $wine, made once and marked ready: Tahoma from Wine's own
# fonts (Wine does not look into its own font folder), and no window manager (without one every
# closing window would stall for about 2 s).
make_wine_prefix() {
  [ ! -f "$WINEPREFIX/.qelto-ready" ] || return 0
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 || fail "wineboot -i failed in $WINEPREFIX"
  wineserver -w
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || fail "no Wine fonts"
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 \
    || fail "cannot set the Wine registry"
  wineserver -w
  touch "$WINEPREFIX/.qelto-ready"
}
# A lasting wineserver, and Wine's own services (explorer with its tray window), with their output
# away from ctest's pipes, which they would otherwise hold open.
start_wine_services() {
  wineserver -p </dev/null >/dev/null 2>&1 || true  # exit code 2: one runs already
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1
}
# A USB modem as Windows' SetupAPI lists it, from the device instances under Enum: of the Modems
# class, named "USB Modem (PORT)", given PORT. A driver registers it so when the modem is plugged
# in; it keeps its instance ID (its identity, with the serial number 0001) in any USB socket.
usb_modem_identity='USB\VID_0572&PID_1340\0001'
usb_modem_key="HKLM\\System\\CurrentControlSet\\Enum\\$usb_modem_identity"
register_usb_modem() {  # register_usb_modem PORT
  "$wine" reg add "$usb_modem_key" /v ClassGUID /d '{4d36e96d-e325-11ce-bfc1-08002be10318}' /f \
    </dev/null >/dev/null 2>&1 || fail "cannot register the USB modem"
  "$wine" reg add "$usb_modem_key" /v FriendlyName /d "USB Modem ($1)" /f </dev/null >/dev/null \
    2>&1 || fail "cannot name the USB modem"
  "$wine" reg add "$usb_modem_key\\Device Parameters" /v PortName /d "$1" /f </dev/null \
    >/dev/null 2>&1 || fail "cannot give the USB modem $1"
}
forget_usb_modem() {  # none registered is no failure
  "$wine" reg delete "${usb_modem_key%\\*}" /f </dev/null >/dev/null 2>&1 || true
}
