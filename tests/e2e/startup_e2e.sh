#!/usr/bin/env bash
# End-to-end start-up and shutdown checks of the real executable.
# Usage: startup_e2e.sh CASE BIN_DIR TEST_DRIVER_DIR
# Each case copies the executable into a folder of its own, beside the driver library it needs,
# and runs it from another working folder, as an installer would. Exit 77 means skipped.
set -eEuo pipefail
case_name=$1 bin_dir=$2 driver_dir=$3

source "$(dirname "$0")/e2e_lib.sh"

case $case_name in
  no_driver) expect_refused none "$not_installed" ;;
  missing_playline) expect_refused missing_playline "$not_installed" ;;
  version_1_9) expect_refused v1_9 "$outdated" ;;
  not_pos) expect_refused not_pos "$outdated" ;;
  version_2_0) expect_runs v2_0 ;;
  version_2_1) expect_runs v2_1 ;;
  version_10_0) expect_runs v10_0 ;;
  version_2) expect_runs v2 ;;
  ansi_driver) expect_runs ansi_v1_5 ;;
  second_instance)
    install_app v2_1
    start_resident first "${headless[@]}"
    first=$pid
    run_to_end second "${headless[@]}"
    [ $rc -eq 0 ] || fail "second copy ended with $rc"
    [ ! -s "$scratch/second.err" ] || fail "second copy was not silent: $(cat "$scratch/second.err")"
    [ "$(log_count 'Application Started!')" = 1 ] || fail "second copy wrote to the log"
    kill -0 "$first" || fail "the first copy was disturbed"
    stop_with INT "$first"
    # The guard went with the first copy: a new start runs.
    start_resident third "${headless[@]}"
    stop_with HUP "$pid"
    ;;
  killed_leaves_no_guard)
    install_app v2_1
    start_resident first "${headless[@]}"
    kill9 "$pid"
    start_resident again "${headless[@]}"
    [ "$(log_count 'Application Started!')" = 2 ] || fail "no restart after kill -9"
    stop_with TERM "$pid"
    ;;
  simulated_driver)
    # The recorder copied to another folder together with our driver: events reach the log.
    install_app sim
    start_resident sim "${headless[@]}"
    wait_until 10 log_has "Simulator started" || fail "no start-up status event from the driver"
    "$bin_dir/qelto-cidr-sim" status "hello from the driver" >/dev/null || fail "qelto-cidr-sim failed"
    wait_until 10 log_has " - Shello from the driver" || fail "status event text not logged"
    "$bin_dir/qelto-cidr-sim" unplug >/dev/null || fail "unplug failed"
    wait_until 10 log_has "disconnected" || fail "unplug status event not logged"
    stop_with TERM "$pid"
    ;;
  settings_missing)
    install_app v2_1
    rm "$scratch/app/Server_Config.dll"
    run_to_end settings "${headless[@]}"
    [ $rc -eq 0 ] || fail "exit code $rc, expected 0"
    grep -q "نقص در تنظيمات برنامه" "$scratch/settings.err" || fail "settings alert not on standard error"
    [ "$(sed 's/^.\{22\}//' "$scratch/work/log.txt" | tr -d '\r')" = "Application Started!
Cannot open file \"$scratch/app/Server_Config.dll\". No such file or directory
Application Closed" ] || fail "unexpected log"
    ;;
  box_on_display)
    start_xvfb
    install_app none
    start_recorder box
    wait_until 15 box_shown || fail "no error box on the display"
    grep -q "$not_installed" "$scratch/box.err" || fail "box text not on standard error"
    kill -0 "$pid" || fail "ended before the box was answered"
    # Qt answers on the key press and destroys the box, so the key release finds no window (and
    # xdotool fails): whether the box was answered is seen in the program's end.
    xdotool key --window "$(box_window)" Return 2>/dev/null || true
    wait_until 10 gone "$pid" || fail "still running after the box was answered"
    reap "$pid"
    [ $code -eq 0 ] || fail "exit code $code after the box"
    ;;
  signal_while_box_open)
    start_xvfb
    install_app v1_9
    start_recorder box
    wait_until 15 box_shown || fail "no error box on the display"
    kill -TERM "$pid"
    wait_until 10 gone "$pid" || fail "SIGTERM did not end the program while its box was open"
    reap "$pid"
    [ $code -eq 0 ] || fail "exit code $code after SIGTERM"
    ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
echo "PASS [$case_name]"
