# Shared by the end-to-end scripts: a scratch folder per case, helpers to install and run the
# real executable, and to wait for what it does. Sourced with case_name, bin_dir and driver_dir set,
# by scripts that run with set -eEuo pipefail: a step that fails unchecked ends the case, saying
# which (an exit code that is expected is taken with `|| code=$?` or `|| true`).
scratch=$(mktemp -d /tmp/qelto-e2e.XXXXXX)
pids=()
cleanup() {  # whatever is already gone: the clean-up goes on
  trap - ERR
  set +e
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() { echo "FAIL [$case_name]: $*" >&2; for f in "$scratch"/work/log.txt "$scratch"/*.err; do [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }; done; exit 1; }
# In the script itself; a subshell's failure is its exit code, for the script to check.
step_failed() { [ "$BASH_SUBSHELL" -ne 0 ] || fail "$2: '$3' failed with exit code $1"; }
trap 'step_failed $? "${BASH_SOURCE[0]##*/}:$LINENO" "$BASH_COMMAND"' ERR

mkdir -p "$scratch/app" "$scratch/work" "$scratch/run"
chmod 700 "$scratch/run"
export XDG_RUNTIME_DIR=$scratch/run
# Settings a user of this machine keeps in ~/.config are no part of these tests.
export XDG_CONFIG_HOME=$scratch/config
export QELTO_CIDR_SIM_SOCKET=$scratch/run/sim.sock
unset LD_LIBRARY_PATH WAYLAND_DISPLAY QT_QPA_PLATFORM
headless=(env -u DISPLAY)  # no display: the offscreen platform

install_app() {  # install_app DRIVER_VARIANT|sim|none
  cp "$bin_dir/qelto-callerid" "$scratch/app/" || fail "no executable in $bin_dir"
  printf 'e2e\nsqlite:calls.sqlite\nShop\n0\nrecorder\n' >"$scratch/app/Server_Config.dll"
  case $1 in
    none) ;;
    sim) cp "$bin_dir/libPOS_CIDR.so" "$scratch/app/" || fail "no driver in $bin_dir" ;;
    *) cp "$driver_dir/$1/libPOS_CIDR.so" "$scratch/app/" || fail "no test driver $1" ;;
  esac
}

# wait_until SECONDS COMMAND...: polls every 0.1 s.
wait_until() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -ge $deadline ] && return 1; sleep 0.1; done
}
log_has() { grep -q -- "$1" "$scratch/work/log.txt" 2>/dev/null; }
log_count() { local n; n=$(grep -c -- "$1" "$scratch/work/log.txt" 2>/dev/null) || true; echo "${n:-0}"; }
started_more_than() { [ "$(log_count "Application Started!")" -gt "$1" ]; }
gone() { ! kill -0 "$1" 2>/dev/null; }
reap() { code=0; wait "$1" || code=$?; }  # reap PID: its exit code in $code
kill9() {  # kill9 PID: killed, after running until then (not ended by itself, by a crash)
  kill -9 "$1"
  reap "$1"
  [ "$code" -eq 137 ] || fail "process $1 had ended before kill -9, with exit code $code"
}

# Runs the recorder to completion; the exit code is in $rc and standard error in $scratch/$1.err.
run_to_end() {
  local name=$1; shift
  rc=0
  (cd "$scratch/work" && timeout 20 "$@" "$scratch/app/qelto-callerid" 2>"$scratch/$name.err") || rc=$?
}

start_resident() {  # start_resident NAME [env...]: starts in the background, sets $pid
  local name=$1; shift
  local starts_before; starts_before=$(log_count "Application Started!")
  (cd "$scratch/work" && exec "$@" "$scratch/app/qelto-callerid" 2>"$scratch/$name.err") &
  pid=$!
  pids+=("$pid")
  wait_until 15 started_more_than "$starts_before" || fail "no new 'Application Started!' in the log"
}

stop_with() {  # stop_with SIGNAL PID: the recorder must end by itself with exit code 0
  kill -s "$1" "$2" || fail "no process $2 to send SIG$1 to"
  wait_until 15 gone "$2" || fail "still running 15 s after SIG$1"
  reap "$2"
  [ $code -eq 0 ] || fail "exit code $code after SIG$1"
  [ "$(tail -c 20 "$scratch/work/log.txt" | tr -d '\r\n' | sed 's/.* - //')" = "Application Closed" ] \
    || fail "the log does not end with 'Application Closed'"
}

expect_refused() {  # expect_refused VARIANT TEXT
  install_app "$1"
  run_to_end refused "${headless[@]}"
  [ $rc -eq 0 ] || fail "exit code $rc, expected 0"
  grep -q "Error: $2" "$scratch/refused.err" || fail "standard error lacks the box text '$2'"
  [ ! -e "$scratch/work/log.txt" ] || fail "a refused start wrote log.txt"
  [ -z "$(ls "$XDG_RUNTIME_DIR")" ] || fail "a refused start left files in the runtime folder"
}

expect_runs() {  # expect_runs VARIANT
  install_app "$1"
  start_resident runs "${headless[@]}"
  stop_with TERM "$pid"
}

not_installed="درايور دستگاه نصب نشده است"
outdated="درايور دستگاه بروز نيست"

# A virtual display of our own. Two tests starting one at the same moment can both pick the same
# free display number, and one of the two servers then gives up: start again in that case.
start_xvfb() {
  command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 77; }
  local attempt line
  for attempt in 1 2 3 4 5; do
    exec 5< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & echo "pid $!")
    read -r -t 10 line <&5 || fail "Xvfb did not start"
    xvfb_pid=${line#pid }; pids+=("$xvfb_pid")
    if read -r -t 10 display <&5 && [ -n "$display" ]; then
      export DISPLAY=:$display
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null || true  # it may have given up by itself
    sleep "0.$((RANDOM % 9 + 1))"
  done
  fail "Xvfb gave no display number in $attempt attempts"
}

box_window() { xdotool search --onlyvisible --name "^Error" 2>/dev/null | head -1; }
box_shown() { [ -n "$(box_window)" ]; }

