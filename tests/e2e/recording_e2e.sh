#!/usr/bin/env bash
# End-to-end recording checks: calls made with the simulated driver end up as rows of Pos_Calls,
# with nothing lost to a crash.
# Usage: recording_e2e.sh CASE BIN_DIR TEST_DRIVER_DIR
set -eEuo pipefail
case_name=$1 bin_dir=$2 driver_dir=$3

source "$(dirname "$0")/e2e_lib.sh"
command -v sqlite3 >/dev/null || { echo "sqlite3 is not installed"; exit 77; }

db="$scratch/app/calls.sqlite"

settings_with_branch() {  # the default SQLite settings, with a branch code on line 10
  printf 'e2e\nsqlite:calls.sqlite\nShop\n0\nrecorder\n\n\n\n\n%s\n' "$1" >"$scratch/app/Server_Config.dll"
}

source "$(dirname "$0")/e2e_postgres_lib.sh"
numbers() { pg "SELECT string_agg(TotalNumber, ' ' ORDER BY IdNumber) FROM Pos_Calls"; }

case $case_name in
  pg_records_calls_with_quoted_branch)
    install_app sim
    use_postgres "varchar(20)" "'); DROP TABLE Pos_Calls; --"
    start_listening rec
    sim call 2 09121234567
    sim call 1 ""
    wait_until 30 has_rows 2 || fail "calls not written within 30 s: $(tail -3 "$scratch/work/log.txt")"
    [ "$(rows)" = "1|2|09121234567|'); DROP TABLE Pos_Calls; --
2|1|0|'); DROP TABLE Pos_Calls; --" ] || fail "unexpected rows: $(rows)"
    stop_with TERM "$pid"
    ;;
  pg_kill9_keeps_queued_calls)
    install_app sim
    use_postgres "varchar(20)"
    start_listening first
    for n in 101 102 103; do sim call 1 $n; done
    kill9 "$pid"
    start_listening second
    sim call 2 104
    wait_until 30 has_rows 4 || fail "calls lost after kill -9: $(rows)"
    [ "$(numbers)" = "101 102 103 104" ] || fail "wrong rows after restart: $(rows)"
    stop_with TERM "$pid"
    ;;
  pg_rejected_column_too_short)
    install_app sim
    use_postgres "varchar(4)"
    start_listening rec
    sim call 1 1111
    wait_until 30 has_rows 1 || fail "first call not written"
    sim call 1 09121234567
    sim call 1 2222
    wait_until 10 has_rows 2 || fail "a refused call blocked the next one"
    [ "$(numbers)" = "1111 2222" ] || fail "unexpected rows: $(rows)"
    wait_until 5 test -s "$scratch/work/rejected-calls.txt" || fail "no rejected-calls.txt"
    grep -q " - 1,09121234567 - .*too long" "$scratch/work/rejected-calls.txt" \
      || fail "rejected call not recorded: $(cat "$scratch/work/rejected-calls.txt")"
    [ "$(log_count "Error: ")" -ge 3 ] || fail "the refusals were not logged"
    stop_with TERM "$pid"
    ;;
  pg_outage_40s)
    install_app sim
    use_postgres "varchar(20)"
    trap 'trap - ERR; set +e; pg_ctlcluster 15 main start >/dev/null 2>&1; cleanup' EXIT
    start_listening rec
    sim call 1 1000
    wait_until 30 has_rows 1 || fail "first call not written"
    pg_server stop
    expected="1000"
    : >"$scratch/sent"
    for n in $(seq 1001 1040); do
      before=$(date +%H:%M:%S); sim call 1 $n; after=$(date +%H:%M:%S)
      echo "$n $before $after" >>"$scratch/sent"
      expected="$expected $n"
      sleep 1
    done
    pg_server start
    wait_until 60 has_rows 41 || fail "calls missing after the outage: $(numbers)"
    [ "$(numbers)" = "$expected" ] || fail "not every call exactly once and in order: $(numbers)"
    while read -r n before after; do
      t=$(pg "SELECT Time FROM Pos_Calls WHERE TotalNumber = '$n'")
      [ "$t" = "$before" ] || [ "$t" = "$after" ] || fail "call $n stamped $t, sent at $before"
    done <"$scratch/sent"
    stop_with TERM "$pid"
    ;;
  sqlite_records_calls)
    install_app sim
    settings_with_branch "O'B"
    start_listening rec
    sim call 2 09121234567
    sim call 1 ""
    # The first connection is made only after 15 s.
    wait_until 30 has_rows 2 || fail "calls not written within 30 s"
    sim call 3 0211111
    # Its row comes after the two before it (IdNumber below): how soon is for the benchmarks.
    wait_until 60 has_rows 3 || fail "a call on a connected database was not written within 60 s"
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
    start_listening rec
    sim call 1 5
    wait_until 30 has_rows 1 || fail "call not written"
    [ "$(sqlite3 "$db" "SELECT BranchCode FROM Pos_Calls")" = "$branch" ] || fail "branch code changed"
    stop_with TERM "$pid"
    ;;
  kill9_keeps_queued_calls)
    install_app sim
    # The first life cannot open the database (a folder stands at its name), however long the
    # calls take: when it is killed, they are in the journal alone.
    mkdir "$db"
    start_listening first
    for n in 101 102 103 104 105; do sim call 1 $n; done
    [ "$(grep -c '^C ' "$scratch/work/calls-journal.txt")" = 5 ] || fail "the calls were not journalled"
    kill9 "$pid"
    rmdir "$db"
    start_listening second
    sim call 2 106
    wait_until 30 has_rows 6 || fail "calls lost after kill -9: $(rows)"
    [ "$(sqlite3 "$db" "SELECT group_concat(TotalNumber, ' ') FROM (SELECT TotalNumber FROM Pos_Calls ORDER BY IdNumber)")" \
      = "101 102 103 104 105 106" ] || fail "wrong rows after restart: $(rows)"
    stop_with TERM "$pid"
    ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
echo "PASS [$case_name]"
