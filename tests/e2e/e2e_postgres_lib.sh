# Shared by the end-to-end scripts that record into the PostgreSQL server prepared by
# tools/test-postgres, through unixODBC. Sourced after e2e_lib.sh.
pg() { PGPASSWORD=pw psql -X -q -tA -h 127.0.0.1 -U recorder -d shop -v ON_ERROR_STOP=1 -c "$1" 2>&1; }

fresh_pos_calls() {  # fresh_pos_calls TOTALNUMBER_TYPE: an empty table, made anew
  if [ "${QELTO_SKIP_POSTGRES:-0}" = 1 ]; then echo "PostgreSQL tests skipped"; exit 77; fi
  pg_isready -q -h 127.0.0.1 -p 5432 || fail "PostgreSQL does not answer: run tools/test-postgres as root"
  pg "DROP TABLE IF EXISTS Pos_Calls" >/dev/null || fail "cannot drop the table Pos_Calls"
  pg "CREATE TABLE Pos_Calls (IdNumber integer PRIMARY KEY, LineNumber varchar(10),
      TotalNumber $1, TarYY varchar(2), TarMM varchar(2), TarDD varchar(2), Time varchar(8),
      BranchCode varchar(40))" >/dev/null || fail "cannot create the table"
}

odbc_data_source() {  # QeltoE2E, a data source of our own
  printf '[QeltoE2E]\nDriver = PostgreSQL Unicode\nServername = 127.0.0.1\nPort = 5432\nDatabase = shop\n' \
    >"$scratch/odbc.ini"
  export ODBCINI=$scratch/odbc.ini
}

write_odbc_settings() {  # write_odbc_settings [BRANCH]: a data source of our own and the settings file
  odbc_data_source
  printf 'e2e\nodbc:QeltoE2E\nshop\n1\nrecorder\npw\n\n\n\n%s\n' "${1:-}" >"$scratch/app/Server_Config.dll"
}

# use_postgres TOTALNUMBER_TYPE [BRANCH]: a fresh table, settings naming a data source of ours,
# and the rows read from there. Under Wine, odbc32 hands the calls to the host's unixODBC, which
# reads the test's own ODBCINI.
use_postgres() {
  command -v psql >/dev/null || skip "psql is not installed"
  fresh_pos_calls "$1"
  write_odbc_settings "${2:-}"
  rows() { pg "SELECT IdNumber, LineNumber, TotalNumber, BranchCode FROM Pos_Calls ORDER BY IdNumber"; }
  row_count() { pg "SELECT COUNT(*) FROM Pos_Calls"; }
}

pg_server() {  # pg_server start|stop [pg_ctlcluster options]: needs root, like the server itself
  [ "$(id -u)" = 0 ] || { echo "stopping the server needs root"; exit 77; }
  pg_ctlcluster 15 main "$@" && return 0
  # Someone else (tools/test-postgres) may have started it meanwhile; only a server that is not
  # in the asked-for state is a failure.
  local state; state=$(pg_lsclusters -h | awk '$1 == 15 && $2 == "main" {print $4}')
  { [ "$1" = start ] && [ "$state" = online ]; } || { [ "$1" = stop ] && [ "$state" = down ]; } \
    || fail "pg_ctlcluster $* failed"
}
