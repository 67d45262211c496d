#!/usr/bin/env bash
# End-to-end checks that every call the simulated driver reported becomes exactly one row of
# Pos_Calls, through full disks, crashes, locked databases, damaged journals, a second recorder,
# a database server that hangs and one that is stopped in the middle of a drain.
# Usage: exactly_once_e2e.sh CASE BIN_DIR TEST_DRIVER_DIR
set -eEuo pipefail
case_name=$1 bin_dir=$2 driver_dir=$3

source "$(dirname "$0")/e2e_lib.sh"
command -v sqlite3 >/dev/null || { echo "sqlite3 is not installed"; exit 77; }
# The random moments and pauses of a run come from its seed: QELTO_E2E_SEED=N replays them.
seed=${QELTO_E2E_SEED:-$(($(date +%s%N) % 32768))}
RANDOM=$seed
echo "random seed $seed (QELTO_E2E_SEED=$seed replays it)"

work=$scratch/work
journal=$work/calls-journal.txt
damaged=$work/calls-journal.damaged.txt
rejected=$work/rejected-calls.txt
db=$scratch/app/calls.sqlite

# Every call is made with a number of its own; the numbers the simulator acknowledged (the
# driver's event returned, so the recorder had the call) are listed in $scratch/acked.
: >"$scratch/acked"
call() {  # call NUMBER [LINE]: true when acknowledged
  "$bin_dir/qelto-cidr-sim" call "${2:-1}" "$1" >/dev/null 2>&1 || return 1
  echo "$1" >>"$scratch/acked"
}
must_call() { call "$@" || fail "qelto-cidr-sim call ${2:-1} $1 was not acknowledged"; }

sql() { sqlite3 "$db" "$1" 2>/dev/null; }
numbers() { sql "SELECT TotalNumber FROM Pos_Calls ORDER BY TotalNumber"; }
row_count() { local n; n=$(sql "SELECT COUNT(*) FROM Pos_Calls") || true; echo "${n:-0}"; }
has_number() { [ "$(sql "SELECT COUNT(*) FROM Pos_Calls WHERE TotalNumber = '$1'")" -ge 1 ] 2>/dev/null; }

# Calls are written in their order, recovered ones first: once a call made now has its row, every
# call before it has been dealt with. The first connection comes 15 s after start.
settle() {  # settle NUMBER: one more call, then wait for its row
  must_call "$1" 9
  wait_until "${2:-40}" has_number "$1" || fail "the call $1 made to settle was not written"
}

# The table holds every number of FILE once, and, with ALLOWED given, nothing that is not in it.
expect_exactly_once() {  # expect_exactly_once FILE [ALLOWED]
  local doubled missing extra
  # The first ten of each (head may cut the pipe short): judged by what they list.
  doubled=$(numbers | uniq -d | head -10 | tr '\n' ' ') || true
  missing=$(sort -u "$1" | comm -23 - <(numbers | sort -u) | head -10 | tr '\n' ' ') || true
  extra=$(numbers | sort -u | comm -23 - <(sort -u "${2:-$1}") | head -10 | tr '\n' ' ') || true
  [ -z "$doubled$missing$extra" ] && return 0
  fail "not exactly once: $(row_count) rows for $(sort -u "$1" | wc -l) calls;" \
    "twice: ${doubled:-none}; missing: ${missing:-none}; unknown: ${extra:-none}"
}

# A journal left by an earlier run, as the recorder writes it; CR LF ends when asked.
write_journal() {  # write_journal crlf|lf RECORD...
  local ending=$'\n'; [ "$1" = crlf ] && ending=$'\r\n'; shift
  local record
  for record in "$@"; do printf '%s%s' "$record" "$ending"; done >"$journal"
  chmod 600 "$journal"
}

# Sub-second waits for what the operator must see at once.
now_ms() { echo $(($(date +%s%N) / 1000000)); }
within_ms() {  # within_ms LIMIT COMMAND...: true when COMMAND succeeds within LIMIT ms
  local limit=$1 start; start=$(now_ms); shift
  until "$@"; do [ $(($(now_ms) - start)) -gt "$limit" ] && return 1; sleep 0.05; done
}

case $case_name in
  full_disk_tmpfs)
    [ "$(id -u)" = 0 ] || { echo "mounting a tmpfs needs root"; exit 77; }
    mount -t tmpfs -o size=1m,mode=0755 qelto-e2e "$work" || { echo "cannot mount a tmpfs"; exit 77; }
    trap 'trap - ERR; set +e; for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; sleep 0.2
      umount -l "$work"; cleanup' EXIT
    install_app sim  # the database lies outside the full disk; the journal and the log on it
    start_listening first
    must_call 1000
    wait_until 30 has_number 1000 || fail "first call not written"
    for n in $(seq 1001 1050); do must_call "$n"; done
    # The disk fills while the calls keep coming: records and marks are torn or refused.
    dd if=/dev/zero of="$work/filler" bs=4k 2>/dev/null || true  # it ends when no room is left
    for n in $(seq 1051 1200); do must_call "$n"; done
    [ "$(df --output=avail "$work" | tail -1)" -eq 0 ] || fail "the disk is not full"
    wait_until 30 has_number 1200 || fail "calls were not written while the journal's disk was full"
    rm -f "$work/filler"
    must_call 1201
    kill9 "$pid"
    start_listening second
    settle 1202
    expect_exactly_once "$scratch/acked"
    stop_with TERM "$pid"
    ;;

  kill9_during_burst)
    # 2,000 calls in bursts of 100, sent as fast as the tool goes; the recorder is killed 20 times
    # and started again at once. Odd lives end at a random moment while their burst arrives and
    # is journalled (the first connection comes only after 15 s); even lives at a random moment
    # after the writer began writing the calls left by the lives before. A call that was not
    # acknowledged may or may not have reached the recorder: it may be in the table, once; an
    # acknowledged one must be.
    install_app sim
    : >"$scratch/attempted"
    for life in $(seq 1 20); do
      start_listening "life$life"
      first=$((20001 + (life - 1) * 100))
      seq $first $((first + 99)) >>"$scratch/attempted"
      # A call the killed recorder did not acknowledge is no failure of the burst.
      (for n in $(seq $first $((first + 99))); do call "$n" || true; done) &
      burst=$!
      if [ $((life % 2)) = 1 ]; then
        sleep "$((RANDOM % 2)).$((RANDOM % 10))"
        kill9 "$pid"
        wait "$burst"
      else
        wait "$burst"
        before=$(row_count)
        more_rows() { [ "$(row_count)" -gt "$before" ]; }
        wait_until 30 more_rows || fail "life $life wrote nothing in 30 s"
        sleep "0.$((RANDOM % 3))$((RANDOM % 10))"
        kill9 "$pid"
      fi
    done
    start_listening last
    [ "$(wc -l <"$scratch/acked")" -ge 1000 ] || fail "only $(wc -l <"$scratch/acked") calls acknowledged"
    echo 29999 >>"$scratch/attempted"
    settle 29999
    expect_exactly_once "$scratch/acked" "$scratch/attempted"
    echo "$(wc -l <"$scratch/acked") calls acknowledged, $(row_count) rows"
    stop_with TERM "$pid"
    ;;

  sqlite_locked)
    # Held for 120 s: with its 30 s busy wait per statement, a writer that counted "database is
    # locked" as a refusal would set the call aside after the third, about 90 s in.
    install_app sim
    start_listening rec
    must_call 3000
    wait_until 30 has_number 3000 || fail "first call not written"
    mkfifo "$scratch/locker"
    sqlite3 "$db" <"$scratch/locker" >"$scratch/locker.out" 2>&1 &
    locker=$!; pids+=("$locker")
    exec 7>"$scratch/locker"
    echo "BEGIN EXCLUSIVE; SELECT 'locked';" >&7
    wait_until 10 grep -q locked "$scratch/locker.out" || fail "sqlite3 could not lock the file"
    for n in $(seq 3001 3010); do must_call "$n"; sleep 1; done
    sleep 110
    [ "$(sql "SELECT COUNT(*) FROM Pos_Calls WHERE TotalNumber > '3000'")" = 0 ] \
      || fail "written while the file was locked"
    echo "COMMIT;" >&7
    exec 7>&-
    wait "$locker"
    wait_until 60 has_number 3010 || fail "the calls were not written after the lock ended"
    [ ! -s "$rejected" ] || fail "calls set aside: $(cat "$rejected")"
    settle 3011
    expect_exactly_once "$scratch/acked"
    stop_with TERM "$pid"
    ;;

  second_recorder_same_folder)
    install_app sim
    start_listening first
    first=$pid
    for n in 4001 4002 4003; do must_call "$n"; done
    # Another session's recorder: its own runtime folder (so its own instance lock) and socket.
    mkdir -m 700 "$scratch/run2"
    (cd "$work" && exec "${headless[@]}" XDG_RUNTIME_DIR="$scratch/run2" \
      QELTO_CIDR_SIM_SOCKET="$scratch/run2/sim.sock" "$scratch/app/qelto-callerid" \
      2>"$scratch/second.err") &
    second=$!; pids+=("$second")
    wait_until 15 gone "$second" || fail "the second recorder in the same folder kept running"
    reap "$second"
    [ $code -eq 0 ] || fail "the second recorder ended with $code"
    # It says why, naming the recorder that holds the folder, on standard error and in the log.
    held="calls-journal.lock in $work is held by process $first (qelto-callerid): another recorder"
    grep -qF "qelto-callerid: $held" "$scratch/second.err" \
      || fail "the second recorder did not say why it ended: $(cat "$scratch/second.err")"
    grep -qF " - $held" "$work/log.txt" || fail "the log does not say why the second recorder ended"
    kill -0 "$first" || fail "the first recorder was disturbed"
    for n in 4004 4005 4006; do must_call "$n"; done
    settle 4007
    expect_exactly_once "$scratch/acked"
    stop_with TERM "$first"
    # Its journal was left whole: a restart writes nothing again.
    start_listening again
    settle 4008
    expect_exactly_once "$scratch/acked"
    stop_with TERM "$pid"
    ;;

  journal_not_a_file)
    # What stands at the name of the journal or one of its files is no regular file: the start
    # is refused at once, says so, and changes nothing (before, a FIFO hung the start for ever).
    install_app sim
    echo "someone else's" >"$scratch/elsewhere.txt"
    for c in "fifo calls-journal.txt" "link calls-journal.txt" "folder calls-journal.txt" \
      "fifo calls-journal.lock" "fifo rejected-calls.txt"; do
      set -- $c
      rm -rf "${work:?}"/*
      case $1 in
        fifo) mkfifo "$work/$2"; kind="a FIFO" ;;
        link) ln -s "$scratch/elsewhere.txt" "$work/$2"; kind="a symbolic link" ;;
        folder) mkdir "$work/$2"; kind="a folder" ;;
      esac
      refused="Error: $work/$2 is $kind, not a regular file: the recorder does not start"
      code=0
      (cd "$work" && exec timeout -s KILL 10 "${headless[@]}" "$scratch/app/qelto-callerid" \
        2>"$scratch/refused.err") || code=$?
      [ $code -eq 1 ] || fail "$c: exit code $code, expected 1 (137: still waiting after 10 s)"
      grep -qF "qelto-callerid: $refused" "$scratch/refused.err" \
        || fail "$c: standard error does not say why: $(cat "$scratch/refused.err")"
      grep -qF " - $refused" "$work/log.txt" || fail "$c: the log does not say why"
      [ ! -e "$work/calls-journal.txt.new" ] || fail "$c: the journal was touched"
    done
    [ "$(cat "$scratch/elsewhere.txt")" = "someone else's" ] || fail "the file linked to was changed"
    ;;

  signal_during_start)
    # A start never waits for ever: a settings file that is a FIFO, which once held its open
    # for ever, is refused at once with the settings alert. And SIGTERM ends a start while it
    # recovers 1,000,000 pending calls, which takes a second or more: it used to end only once
    # the start was over.
    install_app sim
    mv "$scratch/app/Server_Config.dll" "$scratch/settings"
    mkfifo "$scratch/app/Server_Config.dll"
    start_resident waiting "${headless[@]}"
    wait_until 30 gone "$pid" || fail "still running 30 s after a start with a FIFO as its settings"
    grep -q "Server_Config.dll cannot be read: Not a regular file" "$scratch/waiting.err" \
      || fail "the FIFO was not refused: $(cat "$scratch/waiting.err")"
    rm "$scratch/app/Server_Config.dll"; mv "$scratch/settings" "$scratch/app/Server_Config.dll"
    awk 'BEGIN { for (i = 1; i <= 1000000; i++)
      printf "C %d 2026-12-08 10:%02d:%02d 1,0912%07d\n", i, (i / 60) % 60, i % 60, i }' >"$journal"
    start_resident recovering "${headless[@]}"
    kill -TERM "$pid"
    wait_until 60 gone "$pid" || fail "still running 60 s after SIGTERM, recovering the calls"
    reap "$pid"
    [ $code -eq 0 ] || fail "exit code $code after SIGTERM during the recovery"
    # It ended in the middle of the start, not once the start was over.
    grep -qF "qelto-callerid: ended by a signal during start-up" "$scratch/recovering.err" \
      || fail "SIGTERM was not taken during the recovery: $(cat "$scratch/recovering.err")"
    [ "$(grep -c '^C ' "$journal")" = 1000000 ] || fail "the journal lost calls"
    ;;

  crlf_journal)
    install_app sim
    # Pending calls of an earlier run, the file edited on Windows; one was already written, and
    # two records share an id.
    write_journal crlf \
      "C 7 2026-12-09 10:00:01 1,5001" \
      "C 8 2026-12-09 10:00:02 2,5002" \
      "W 7" \
      "C 9 2026-12-09 10:00:03 1,5003" \
      "C 9 2026-12-09 10:00:04 3,5004"
    printf '%s\n' 5002 5003 5004 >"$scratch/acked"
    start_listening rec
    settle 5005
    expect_exactly_once "$scratch/acked"
    [ "$(sql "SELECT group_concat(LineNumber || ',' || TotalNumber || ' ' || Time, ' | ')
              FROM (SELECT * FROM Pos_Calls ORDER BY IdNumber LIMIT 3)")" \
      = "2,5002 10:00:02 | 1,5003 10:00:03 | 3,5004 10:00:04" ] \
      || fail "not written with their own lines and moments, in order: $(sql 'SELECT * FROM Pos_Calls')"
    stop_with TERM "$pid"
    ;;

  damaged_journal)
    install_app sim
    bad1=$'C 12 2026-12-09 10:00:0\x01\xff\xfe 1,60'
    bad2="C 13 2026-13-45 25:61:61 1,6666"
    bad3="C 14 2026-12-09 03:14:4C 15 2026-12-09 03:14:45 2,6003"
    write_journal lf \
      "C 11 2026-12-09 10:00:01 1,6001" \
      "$bad1" \
      "$bad2" \
      "$bad3" \
      "not a record at all" \
      "C 16 2026-12-09 10:00:06 1,6002"
    # A power cut in the last record: what is left still reads as a call, with half its number.
    cut="C 17 2026-12-09 10:00:07 1,60"
    printf '%s' "$cut" >>"$journal"
    printf '%s\n' 6001 6002 >"$scratch/acked"
    start_listening rec
    settle 6004
    expect_exactly_once "$scratch/acked"
    ! has_number 6666 || fail "the impossible moment was written: $(sql "SELECT * FROM Pos_Calls WHERE TotalNumber = '6666'")"
    [ -f "$damaged" ] || fail "no $(basename "$damaged")"
    for bad in "$bad1" "$bad2" "$bad3" "not a record at all" "$cut"; do
      grep -qxF -- "$bad" "$damaged" || fail "not kept unchanged in the side file: $(printf %q "$bad")"
    done
    ! grep -q "6001\|6002" "$damaged" || fail "good records moved to the side file"
    log_has "calls-journal.damaged.txt" || fail "the log does not say where the damaged records went"
    ! LC_ALL=C grep -q $'[\x01\xff\xfe]' "$work/log.txt" || fail "raw bytes of the damaged file in the log"
    long=$(LC_ALL=C awk '{ if (length($0) > 4096) print NR }' "$work/log.txt")
    [ -z "$long" ] || fail "log lines over 4 KB: $long"
    stop_with TERM "$pid"
    # Set aside once: a restart neither writes them nor moves them again.
    cp "$damaged" "$scratch/damaged.before"
    start_listening again
    settle 6005
    expect_exactly_once "$scratch/acked"
    cmp -s "$damaged" "$scratch/damaged.before" || fail "the side file changed at the restart"
    stop_with TERM "$pid"
    ;;

  silent_sql_server)
    command -v python3 >/dev/null || { echo "python3 is not installed"; exit 77; }
    command -v trayer >/dev/null || { echo "trayer is not installed"; exit 77; }
    command -v import >/dev/null || { echo "ImageMagick is not installed"; exit 77; }
    source "$(dirname "$0")/e2e_tray_lib.sh"
    # A SQL Server that completes the TCP handshake and then never says a word: every login
    # hangs until its own time-out of 15 s, and the next attempt follows at once. It reports each
    # connection taken and each one the recorder gave up or ended.
    python3 -u -c '
import select, socket
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(64)
print(server.getsockname()[1])
held = []
while True:
    for ready in select.select([server] + held, [], [])[0]:
        if ready is server:
            held.append(server.accept()[0])
            print("accepted")
            continue
        try:
            data = ready.recv(4096)
        except OSError:
            data = b""
        if not data:
            held.remove(ready)
            ready.close()
            print("closed")
' >"$scratch/listener.out" &
    pids+=($!)
    wait_until 10 test -s "$scratch/listener.out" || fail "the silent listener did not start"
    install_app sim
    printf 'e2e\n127.0.0.1,%s\nShop\n1\nsa\npw\n' "$(head -1 "$scratch/listener.out")" \
      >"$scratch/app/Server_Config.dll"
    start_tray_host
    attempts() { grep -c accepted "$scratch/listener.out" || true; }
    closes() { grep -c closed "$scratch/listener.out" || true; }
    hanging_since() { [ "$(attempts)" -gt "$1" ]; }
    for stop in exit sigterm; do
      before=$(attempts)
      start_resident "$stop"
      locate_icon
      wait_until 30 hanging_since "$before" || fail "the recorder never tried to connect"
      # What follows must all happen while this one login hangs: no connection given up, no new
      # attempt, and no line of the writer in the log, until the program has ended.
      hanging=$(attempts) open_ones=$(($(attempts) - $(closes))) log_lines=$(wc -l <"$work/log.txt")
      still_hanging() { [ "$(attempts)" = "$hanging" ] && [ $(($(attempts) - $(closes))) = "$open_ones" ]; }
      sleep 1
      [ "$(icon_pictures)" -ge 2 ] || fail "the tray icon froze while a connection attempt hung"
      still_hanging || fail "the login ended before the icon was seen blinking: no hang to test"
      if [ $stop = exit ]; then
        # Right click, "EXIT", and the question, while the login hangs.
        open_menu
        still_hanging || fail "the menu opened only once the hanging login had ended"
        click_menu_item 2  # "EXIT"
        wait_until 10 dialog_open || fail "EXIT asked nothing"
        still_hanging || fail "EXIT asked only once the hanging login had ended"
        shot silent-server-exit-question
        xdotool key Return  # Yes
      else
        kill -TERM "$pid"
      fi
      wait_until 30 gone "$pid" || fail "$stop did not end the program within 30 s"
      reap "$pid"
      [ $code -eq 0 ] || fail "exit code $code after $stop"
      # Ended before the login gave up: the writer never came back to log its failure.
      [ "$(tail -n +$((log_lines + 1)) "$work/log.txt" | sed 's/^.\{22\}//' | tr -d '\r')" \
        = "Application Closed" ] || fail "$stop waited for the hanging login: $(tail -n +$((log_lines + 1)) "$work/log.txt")"
      [ "$(attempts)" = "$hanging" ] || fail "$stop ended the program only after another login"
    done
    ;;

  pg_stopped_during_drain)
    source "$(dirname "$0")/e2e_postgres_lib.sh"
    fresh_pos_calls "varchar(20)"
    install_app sim
    write_odbc_settings
    sql() { pg "$1"; }
    trap 'trap - ERR; set +e; pg_ctlcluster 15 main start >/dev/null 2>&1; cleanup' EXIT
    # Calls a crash left pending: at the first connection the writer drains them, each looked
    # up before its INSERT, while new calls keep arriving. The server is killed three times in
    # the middle of that drain.
    seq 70001 72000 | awk '{ print "C " NR " 2026-12-09 10:00:00 1," $1 }' >"$journal"
    chmod 600 "$journal"
    seq 70001 72000 >"$scratch/acked"
    start_listening rec
    (for n in $(seq 72001 72300); do must_call "$n"; sleep 0.1; done) &
    pids+=($!)
    for outage in 1 2 3; do
      before=$(row_count)
      more_rows() { [ "$(row_count)" -gt "$before" ]; }
      wait_until 60 more_rows || fail "the drain did not go on after outage $((outage - 1))"
      at_stop=$(row_count)
      pg_server stop -m immediate
      [ "$at_stop" -lt 2000 ] || fail "outage $outage came after the drain had ended ($at_stop rows)"
      echo "outage $outage after $at_stop rows"
      sleep 1
      pg_server start
    done
    wait "${pids[-1]}"
    settle 79999 60
    expect_exactly_once "$scratch/acked"
    stop_with TERM "$pid"
    ;;

  pg_two_branches)
    # Two branches' recorders (each its own folder and branch code) on one server, 600 calls each
    # in parallel bursts: both number their rows from the same MAX(IdNumber), so their INSERTs
    # collide on the key again and again. Each collision is numbered afresh: every call gets its
    # row and none is set aside.
    source "$(dirname "$0")/e2e_postgres_lib.sh"
    fresh_pos_calls "varchar(20)"
    install_app sim
    write_odbc_settings A1
    sql() { pg "$1"; }
    mkdir -p "$scratch/app2" "$scratch/work2"
    cp "$scratch/app/qelto-callerid" "$scratch/app/libPOS_CIDR.so" "$scratch/app2/"
    sed '10s/.*/B2/' "$scratch/app/Server_Config.dll" >"$scratch/app2/Server_Config.dll"
    mkdir -m 700 "$scratch/run2"
    start_listening first
    first=$pid
    second_env=(XDG_RUNTIME_DIR="$scratch/run2" QELTO_CIDR_SIM_SOCKET="$scratch/run2/sim.sock")
    (cd "$scratch/work2" && exec "${headless[@]}" "${second_env[@]}" "$scratch/app2/qelto-callerid" \
      2>"$scratch/second.err") &
    second=$!; pids+=("$second")
    second_listening() { env "${second_env[@]}" "$bin_dir/qelto-cidr-sim" info >/dev/null 2>&1; }
    wait_until 15 second_listening || fail "the second recorder's driver does not listen"
    # Bursts of 100 as fast as the tool goes, with short pauses between: the first ones queue up
    # before the first connection, the later ones meet two writers already draining side by side.
    burst() {  # burst FIRST_NUMBER [env...]
      local first_number=$1 n; shift
      RANDOM=$((seed + first_number))  # a subshell's own sequence, from the run's seed
      for n in $(seq "$first_number" $((first_number + 599))); do
        env "$@" "$bin_dir/qelto-cidr-sim" call 1 "$n" >/dev/null 2>&1 || echo "$n" >>"$scratch/unacked"
        if [ $((n % 100)) = 0 ]; then sleep "0.$((RANDOM % 10))"; fi
      done
    }
    burst 81000 &
    pids+=($!); burst_a=$!
    burst 82000 "${second_env[@]}" &
    pids+=($!); burst_b=$!
    wait "$burst_a" "$burst_b"
    [ ! -s "$scratch/unacked" ] || fail "calls not acknowledged: $(head -5 "$scratch/unacked")"
    all_rows() { [ "$(row_count)" -ge 1200 ]; }
    wait_until 120 all_rows || fail "$(row_count) rows of 1,200 calls after 120 s"
    for work_dir in "$work" "$scratch/work2"; do
      [ ! -s "$work_dir/rejected-calls.txt" ] \
        || fail "calls set aside: $(head -3 "$work_dir/rejected-calls.txt")"
    done
    { seq 81000 81599; seq 82000 82599; } >"$scratch/acked"
    expect_exactly_once "$scratch/acked"
    [ "$(pg "SELECT COUNT(*) FROM Pos_Calls WHERE BranchCode = 'A1' AND TotalNumber < '82000'")" = 600 ] \
      || fail "the first branch's rows are not its own"
    [ "$(pg "SELECT COUNT(*) FROM Pos_Calls WHERE BranchCode = 'B2' AND TotalNumber >= '82000'")" = 600 ] \
      || fail "the second branch's rows are not its own"
    echo "1,200 rows; collisions that outlasted the retries: $(cat "$work/log.txt" "$scratch/work2/log.txt" | grep -c 'duplicate key')"
    stop_with TERM "$first"
    kill -TERM "$second"
    wait_until 15 gone "$second" || fail "the second recorder did not stop"
    ;;

  sqlite_archived_and_restored)
    # The shop archives the live file by renaming it, takes a backup of the new one, and restores
    # that backup over it in the middle of a burst of calls.
    install_app sim
    start_listening rec
    settle 6000
    for n in $(seq 6001 6100); do must_call "$n"; done
    wait_until 30 has_number 6100 || fail "the calls before the archiving were not written"
    archive=$scratch/app/archive-1405-09.sqlite
    mv "$db" "$archive"
    wait_until 10 log_has "deleted while in use" || fail "the rename was not noticed"
    for n in $(seq 6101 6110); do must_call "$n"; done
    wait_until 30 has_number 6110 || fail "the calls after the archiving were not written"
    [ "$(sqlite3 "$archive" 'PRAGMA integrity_check')" = ok ] || fail "the archive is damaged"
    [ "$(sqlite3 "$archive" "SELECT COUNT(DISTINCT TotalNumber) || ' ' || COUNT(*) FROM Pos_Calls")" \
      = "101 101" ] || fail "the archive does not hold the 101 calls before it, once each"
    sqlite3 "$db" ".backup '$scratch/backup.sqlite'" || fail "sqlite3 could not back the file up"
    # A row only the backup holds: a restore undone by the old file's rows would lose it.
    sqlite3 "$scratch/backup.sqlite" "INSERT INTO Pos_Calls (LineNumber, TotalNumber) VALUES ('9', '7777')" \
      || fail "sqlite3 could not write into the backup"
    # 300 calls, the backup restored after the first hundred or so; each call after the restore
    # must be in the restored file. Those written between the backup and the restore went with
    # the file it replaced.
    for n in $(seq 6111 6410); do must_call "$n"; done &
    burst=$!; pids+=("$burst")
    wait_until 30 eval '[ "$(wc -l <"$scratch/acked")" -ge 250 ]' || fail "the burst does not go on"
    mv "$scratch/backup.sqlite" "$db"
    # The burst makes one call at a time: the one under way at the move may have been written
    # into the file it replaced before its acknowledgement was counted; every later one began
    # after the restore.
    restored_at=$(($(wc -l <"$scratch/acked") + 1))
    wait "$burst"
    settle 6411
    [ "$(sql 'PRAGMA integrity_check')" = ok ] || fail "the restored file is damaged: $(sql 'PRAGMA integrity_check')"
    echo 7777 >>"$scratch/acked"
    { seq 6101 6110; echo 7777; tail -n +"$((restored_at + 1))" "$scratch/acked"; } >"$scratch/restored"
    expect_exactly_once "$scratch/restored" "$scratch/acked"
    echo "restored after $((restored_at - 111)) calls of the burst; $(row_count) rows in the restored file"
    stop_with TERM "$pid"
    ;;

  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
echo "PASS [$case_name]"
