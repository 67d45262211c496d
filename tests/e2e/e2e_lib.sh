# Shared by the Linux end-to-end scripts: the helpers of every end-to-end script (e2e_common.sh)
# for the Linux recorder, in a private runtime folder, and the checks of a start. Sourced with
# case_name, bin_dir and driver_dir set, by scripts that run with set -eEuo pipefail.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"

recorder_file=$bin_dir/qelto-callerid
driver_name=libPOS_CIDR.so
our_driver=("$bin_dir/libPOS_CIDR.so")
recorder=("$scratch/app/qelto-callerid")

mkdir -p "$scratch/run"
chmod 700 "$scratch/run"
export XDG_RUNTIME_DIR=$scratch/run
# Settings a user of this machine keeps in ~/.config are no part of these tests.
export XDG_CONFIG_HOME=$scratch/config
export QELTO_CIDR_SIM_SOCKET=$scratch/run/sim.sock
unset LD_LIBRARY_PATH WAYLAND_DISPLAY QT_QPA_PLATFORM
headless=(env -u DISPLAY)  # no display: the offscreen platform

# Runs the recorder to completion; the exit code is in $rc and standard error in $scratch/$1.err.
run_to_end() {
  local name=$1; shift
  rc=0
  (cd "$scratch/work" && timeout 20 "$@" "${recorder[@]}" 2>"$scratch/$name.err") || rc=$?
}

sim() { "$bin_dir/qelto-cidr-sim" "$@" >/dev/null || fail "qelto-cidr-sim $* failed"; }
sim_listening() { "$bin_dir/qelto-cidr-sim" info >/dev/null 2>&1; }
start_listening() {  # start_listening NAME [PREFIX...]: starts headless, waits for the driver to listen
  local name=$1; shift
  start_resident "$name" "${headless[@]}" "$@"
  wait_until 10 sim_listening || fail "the simulated driver does not listen"
}

stop_with() {  # stop_with SIGNAL PID: the recorder must end by itself with exit code 0
  kill -s "$1" "$2" || fail "no process $2 to send SIG$1 to"
  expect_end "$2" 15 "SIG$1"
  expect_closed_log
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
