#!/usr/bin/env bash
# End-to-end recording checks: calls made with the simulated driver end up as rows of Pos_Calls,
# with nothing lost to a crash.
# Usage: recording_e2e.sh CASE BIN_DIR TEST_DRIVER_DIR
set -u
case_name=$1 bin_dir=$2 driver_dir=$3

source "$(dirname "$0")/e2e_lib.sh"
command -v sqlite3 >/dev/null || { echo "sqlite3 is not installed"; exit 77; }

sim() { "$bin_dir/qelto-cidr-sim" "$@" >/dev/null || fail "qelto-cidr-sim $* failed"; }
sim_listening() { "$bin_dir/qelto-cidr-sim" info >/dev/null 2>&1; }
start_recorder() {  # start_recorder NAME: starts headless and waits for the driver to listen
  start_resident "$1" "${headless[@]}"
  wait_until 10 sim_listening || fail "the simulated driver does not listen"
}
db="$scratch/app/calls.sqlite"
rows() { sqlite3 -separator '|' "$db" "SELECT IdNumber, LineNumber, TotalNumber, BranchCode FROM Pos_Calls ORDER BY IdNumber" 2>/dev/null; }
row_count() { sqlite3 "$db" "SELECT COUNT(*) FROM Pos_Calls" 2>/dev/null || echo 0; }
has_rows() { [ "$(row_count)" -ge "$1" ]; }

settings_with_branch() {  # the default SQLite settings, with a branch code on line 10
  printf 'e2e\nsqlite:calls.sqlite\nShop\n0\nrecorder\n\n\n\n\n%s\n' "$1" >"$scratch/app/Server_Config.dll"
}

case $case_name in
  sqlite_records_calls)
    install_app sim
    settings_with_branch "O'B"
    start_recorder rec
    sim call 2 09121234567
    sim call 1 ""
    # The first connection is made only after 15 s.
    wait_until 30 has_rows 2 || fail "calls not written within 30 s"
    sim call 3 0211111
    wait_until 5 has_rows 3 || fail "a call on a connected database took more than 5 s"
    [ "$(rows)" = "1|2|09121234567|O'B
2|1|0|O'B
3|3|0211111|O'B" ] || fail "unexpected rows: $(rows)"
    today=$(sqlite3 "$db" "SELECT TarYY || TarMM || TarDD FROM Pos_Calls WHERE IdNumber = 3")
    [ ${#today} -eq 6 ] || fail "no Solar Hijri date stamp"
    stop_with TERM "$pid"
    [ "$(grep -c '^C ' "$scratch/work/calls-journal.txt")" = 3 ] || fail "calls not journalled"
    ;;
  sqlite_branch_code_stored_exactly)
    install_app sim
    branch="'); DROP TABLE Pos_Calls; --"
    settings_with_branch "$branch"
    start_recorder rec
    sim call 1 5
    wait_until 30 has_rows 1 || fail "call not written"
    [ "$(sqlite3 "$db" "SELECT BranchCode FROM Pos_Calls")" = "$branch" ] || fail "branch code changed"
    stop_with TERM "$pid"
    ;;
  kill9_keeps_queued_calls)
    install_app sim
    start_recorder first
    for n in 101 102 103 104 105; do sim call 1 $n; done
    # Still within the first 15 s: nothing is written, everything is journalled.
    [ "$(row_count)" = 0 ] || fail "written before the first connection"
    kill -9 "$pid"; wait "$pid" 2>/dev/null
    start_recorder second
    sim call 2 106
    wait_until 30 has_rows 6 || fail "calls lost after kill -9: $(rows)"
    [ "$(sqlite3 "$db" "SELECT group_concat(TotalNumber, ' ') FROM (SELECT TotalNumber FROM Pos_Calls ORDER BY IdNumber)")" \
      = "101 102 103 104 105 106" ] || fail "wrong rows after restart: $(rows)"
    stop_with TERM "$pid"
    ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
echo "PASS [$case_name]"
