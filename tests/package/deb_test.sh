#!/usr/bin/env bash
# The Debian package as a shop gets it: built, checked with lintian, installed with dpkg, the
# recorder started the way a desktop session starts it at logon (as a user made for the test, on
# the offscreen platform), a simulated call recorded into the SQLite file in that user's state
# folder, the package upgraded over itself while the recorder runs, then removed and purged. The
# user's working folder must outlive all of it.
#
# Needs root, and changes the machine for its run: it installs and purges qelto-callerid and
# makes and removes the user qelto-deb-test. It refuses to run where the package is installed.
#
# Usage: tests/package/deb_test.sh [OUT_DIR]     the package is built into OUT_DIR (build-deb/)
#        QELTO_DEB=FILE tests/package/deb_test.sh  tries FILE, built before, instead
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$(realpath -m "${1:-build-deb}")
user=qelto-deb-test
number=09121234567
pid=

step() { printf -- '--- %s\n' "$*"; }
fail() {
  echo "FAIL: $*" >&2
  for f in "${state:-/nonexistent}/log.txt" "$out/recorder.err"; do
    [ -f "$f" ] && { echo "--- $f"; cat "$f"; } >&2
  done
  exit 1
}
# wait_until SECONDS COMMAND...: polls COMMAND twice a second.
wait_until() {
  local tries=$(($1 * 2)); shift
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.5
  done
}
package_state() { dpkg-query -W -f='${db:Status-Status}' qelto-callerid 2>/dev/null || true; }
# "${as_user[@]}" COMMAND...: runs COMMAND as the test user with the bare environment of a
# session. Every step execs the next, so a background start's $! is the recorder itself.
as_user=()
# Read-only, and only once the recorder made the file: sqlite3 would otherwise create it, as root.
rows() {
  [ -f "$state/pos_calls.sqlite" ] || return 0
  sqlite3 -readonly "$state/pos_calls.sqlite" \
    "SELECT COUNT(*) FROM Pos_Calls WHERE TotalNumber='$1'" 2>/dev/null
}
has_rows() { [ "$(rows "$1")" = "$2" ]; }
log_has() { grep -q -- "$1" "$state/log.txt" 2>/dev/null; }
gone() { ! kill -0 "$1" 2>/dev/null; }

cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  if [ "$(package_state)" != "" ] && [ "$(package_state)" != not-installed ]; then
    dpkg -P qelto-callerid >/dev/null 2>&1 || true
  fi
  id "$user" >/dev/null 2>&1 && userdel -r "$user" 2>/dev/null
  [ -n "${run:-}" ] && rm -rf "$run"
  return 0
}

[ "$(id -u)" = 0 ] || { echo "deb_test: needs root" >&2; exit 1; }
case "$(package_state)" in
  "" | not-installed) ;;
  *) echo "deb_test: qelto-callerid is installed here ($(package_state)); this test would remove" \
       "it. Purge it first: dpkg -P qelto-callerid" >&2
     exit 1 ;;
esac
[ ! -e /etc/qelto-callerid ] || fail "/etc/qelto-callerid exists without the package"
trap cleanup EXIT

step "build"
if [ -n "${QELTO_DEB:-}" ]; then deb=$(realpath "$QELTO_DEB"); else deb=$(tools/make-deb "$out"); fi
echo "$deb: $(stat -c %s "$deb") bytes"

step "lintian"
lintian --allow-root --display-info --fail-on error "$deb" | tee "$out/lintian.txt" \
  || fail "lintian found errors"
echo "lintian: $(grep -c '^E:' "$out/lintian.txt" || true) errors," \
  "$(grep -c '^W:' "$out/lintian.txt" || true) warnings, $(grep -c '^I:' "$out/lintian.txt" || true) notes"

step "install"
dpkg -i "$deb"
for f in /usr/bin/qelto-callerid /usr/bin/qelto-cidr-sim /usr/lib/qelto-callerid/libPOS_CIDR.so \
  /etc/qelto-callerid/Server_Config.dll /etc/xdg/autostart/qelto-callerid.desktop \
  /usr/share/applications/qelto-callerid.desktop; do
  [ -f "$f" ] || fail "$f not installed"
done
# The manual in both languages with its pictures, where the manual page sends the reader.
manual_dir=/usr/share/doc/qelto-callerid
for f in manual.en.html manual.fa.html images/tray.png images/installer-welcome.png; do
  [ -f "$manual_dir/$f" ] || fail "the manual's $manual_dir/$f is not installed"
done
named=$(zcat /usr/share/man/man1/qelto-callerid.1.gz | grep -o "$manual_dir/[a-z.]*html" | sort -u)
[ "$(echo "$named" | wc -l)" = 2 ] || fail "the manual page does not name both manuals: $named"
for f in $named; do [ -f "$f" ] || fail "the manual page names $f, which is not installed"; done
dpkg-query -W -f='${Conffiles}\n' qelto-callerid | grep -q ' /etc/qelto-callerid/Server_Config.dll ' \
  || fail "the settings file is not a configuration file of the package"
# It holds the server's password: readable by the group of the recorder's users, not by all.
settings_mode() { stat -c '%a %U:%G' /etc/qelto-callerid/Server_Config.dll; }
[ "$(settings_mode)" = "640 root:qelto-callerid" ] || fail "settings file is $(settings_mode)"

step "a logon of a new user starts the recorder from the autostart entry"
id "$user" >/dev/null 2>&1 && userdel -r "$user"
useradd --create-home --shell /bin/sh --groups qelto-callerid "$user"
home=$(getent passwd "$user" | cut -d: -f6)
state=$home/.local/state/qelto-callerid
run=$(mktemp -d)
chown "$user:" "$run"
chmod 700 "$run"
as_user=(setpriv --reuid="$user" --regid="$user" --init-groups
  env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/local/bin:/usr/bin:/bin
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$run")
exec_line=$(sed -n 's/^Exec=//p' /etc/xdg/autostart/qelto-callerid.desktop)
[ -n "$exec_line" ] || fail "no Exec line in the autostart entry"
echo "Exec=$exec_line"
# A session starts its programs in the home folder. Exec holds no field codes or quotes, so the
# shell splits it as a session would.
"${as_user[@]}" sh -c "cd \"\$HOME\" && exec $exec_line" 2>"$out/recorder.err" &
pid=$!
wait_until 20 log_has "Application Started!" || fail "no log.txt in $state"
[ "$(stat -c %a "$state")" = 700 ] || fail "state folder has mode $(stat -c %a "$state")"
[ "$(stat -c %U "$state")" = "$user" ] || fail "state folder not owned by the user"
grep -q "settings read from /etc/qelto-callerid/Server_Config.dll" "$out/recorder.err" \
  || fail "standard error does not name the settings file read"
[ ! -e "$home/log.txt" ] || fail "log.txt written into the home folder"

step "a simulated call reaches the SQLite file in the state folder"
wait_until 20 "${as_user[@]}" qelto-cidr-sim info >/dev/null || fail "the driver's simulator does not answer"
"${as_user[@]}" qelto-cidr-sim call 1 "$number" >/dev/null || fail "qelto-cidr-sim call failed"
wait_until 60 has_rows "$number" 1 || fail "no row for the call in $state/pos_calls.sqlite"
[ -f "$state/calls-journal.txt" ] || fail "no call journal in the state folder"
[ "$(ls /etc/qelto-callerid)" = "POS_CIDR.conf.example
Server_Config.dll" ] || fail "the recorder wrote into /etc/qelto-callerid: $(ls /etc/qelto-callerid)"

step "upgrade over itself while the recorder runs, with the settings changed by the shop"
sed -i '1s/.*/Settings of the test shop/' /etc/qelto-callerid/Server_Config.dll
dpkg -i "$deb" </dev/null
[ "$(head -1 /etc/qelto-callerid/Server_Config.dll)" = "Settings of the test shop" ] \
  || fail "the upgrade replaced the changed settings file"
[ "$(settings_mode)" = "640 root:qelto-callerid" ] || fail "settings file is $(settings_mode) after the upgrade"
kill -0 "$pid" || fail "the recorder ended during the upgrade"
"${as_user[@]}" qelto-cidr-sim call 2 "$number" >/dev/null || fail "qelto-cidr-sim call after the upgrade failed"
wait_until 20 has_rows "$number" 2 || fail "no row for the call made after the upgrade"

step "SIGTERM stops the recorder in order"
kill -TERM "$pid"
wait_until 20 gone "$pid" || fail "still running 20 s after SIGTERM"
status=0; wait "$pid" || status=$?
pid=
[ "$status" = 0 ] || fail "exit code $status after SIGTERM"
log_has "Application Closed" || fail "no orderly stop in the log"

step "removal keeps the settings, purge removes them; the user's working folder stays"
dpkg -r qelto-callerid
[ ! -e /usr/bin/qelto-callerid ] || fail "the recorder is still installed after removal"
[ -f /etc/qelto-callerid/Server_Config.dll ] || fail "removal took the settings file"
dpkg -P qelto-callerid
[ ! -e /etc/qelto-callerid ] || fail "/etc/qelto-callerid is still there after purge"
[ ! -e /etc/xdg/autostart/qelto-callerid.desktop ] || fail "the autostart entry outlived purge"
[ ! -e "$manual_dir" ] || fail "$manual_dir outlived purge: $(ls "$manual_dir")"
for f in log.txt calls-journal.txt pos_calls.sqlite; do
  [ -f "$state/$f" ] || fail "$state/$f lost by removal or purge"
done
has_rows "$number" 2 || fail "the calls in the state folder were changed"
echo "deb_test: all passed"
