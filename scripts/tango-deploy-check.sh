#!/usr/bin/env bash
# The OrvSpectrometer server in a full Tango deployment on this machine:
# installs MariaDB, the Tango database server (tango-db, preseeded through
# debconf) and tango_admin (libtango-tools) when missing, starts MariaDB and
# DataBaseds on localhost:10000 unless they run already, registers the server
# OrvSpectrometer/deploycheck with one device and its properties (the
# simulated D2XX provider of the linux tree and the scenario's serial number),
# starts the server by name with TANGO_HOST=localhost:10000, and has a client
# under /usr/bin/python3 find the device through the database, subscribe to
# its data-ready event, acquire and read spectrum, model and State
# (scripts/tango_deploy_client.py). Then it stops the server, deletes what it
# registered (tango_admin: the server, its device and their properties; the
# device's property history rows), checks that every table of the database
# holds as many rows as before, and stops the services it started. The
# packages stay installed, so a second run costs no install.
#
# tango-db's installation creates its database in a running MariaDB, and the
# services of this machine are not started by apt (policy-rc.d), so the
# packages are installed here, MariaDB started in between, rather than by
# scripts/setup.sh. Needs root and the linux tree's OrvSpectrometer
# (cmake --build --preset linux --target OrvSpectrometer).
#
#   bash scripts/tango-deploy-check.sh        # work files in build/tango-deploy-check
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
work="$root/build/tango-deploy-check"
server_binary="$root/build/linux/bin/OrvSpectrometer"
provider="$root/build/linux/bin/libftd2xx.so"
instance=deploycheck
server="OrvSpectrometer/$instance"
device=deploycheck/spectrometer/1
serial=ORVDEPLOY1
model=SIM-UV2048
pixels=2048
export TANGO_HOST=localhost:10000 DEBIAN_FRONTEND=noninteractive

started_mariadb=0
databaseds_pid=""
server_pid=""
registered=0

fail() {
  echo "tango-deploy-check: $*" >&2
  exit 1
}
step() { echo "--- $*"; }

# wait_until SECONDS WHAT COMMAND...: runs COMMAND every 0.2 s until it succeeds.
wait_until() {
  local seconds="$1" what="$2" deadline=$((SECONDS + $1))
  shift 2
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || fail "timed out after $seconds s waiting for $what"
    sleep 0.2
  done
}

# stop_process PID NAME: TERM, then KILL after 10 s.
stop_process() {
  local pid="$1" deadline=$((SECONDS + 10))
  kill "$pid" 2>/dev/null || return 0
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "tango-deploy-check: $2 did not stop on TERM within 10 s; killing it" >&2
      kill -KILL "$pid" 2>/dev/null || true
      break
    fi
    sleep 0.1
  done
  wait "$pid" 2>/dev/null || true
}

sql() { mysql --batch --skip-column-names tango -e "$1"; }

# Row counts of every table but the history-id counters (single rows whose
# value only grows).
row_counts() {
  local table
  for table in $(sql "show tables" | grep -v '_history_id$'); do
    echo "$table $(sql "select count(*) from $table")"
  done
}

unregister() {
  [ "$registered" = 1 ] || return 0
  registered=0
  tango_admin --delete-server "$server" --with-properties >/dev/null ||
    echo "tango-deploy-check: tango_admin --delete-server $server failed" >&2
  # The database keeps the history of every property it held; this check's
  # device leaves none behind.
  sql "delete from property_device_hist where device = '$device';
       delete from property_attribute_device_hist where device = '$device';" ||
    echo "tango-deploy-check: the property history of $device could not be deleted" >&2
}

stop_services() {
  if [ -n "$databaseds_pid" ]; then stop_process "$databaseds_pid" DataBaseds; fi
  databaseds_pid=""
  if [ "$started_mariadb" = 1 ]; then timeout 60 /etc/init.d/mariadb stop >/dev/null || true; fi
  started_mariadb=0
}

cleanup() {
  local status=$?
  if [ -n "$server_pid" ]; then stop_process "$server_pid" OrvSpectrometer; fi
  unregister
  stop_services
  exit "$status"
}
trap cleanup EXIT

if [ "$(id -u)" -ne 0 ]; then fail "needs root (installs packages, starts MariaDB)"; fi
[ -x "$server_binary" ] || fail "no $server_binary: cmake --build --preset linux --target OrvSpectrometer"
[ -f "$provider" ] || fail "no simulated provider $provider"
/usr/bin/python3 -c "import tango" 2>/dev/null ||
  fail "/usr/bin/python3 cannot import tango (python3-tango: bash scripts/setup.sh)"
rm -rf "$work"
mkdir -p "$work"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
install() {
  timeout 600 apt-get install -y -q --no-install-recommends "$@" >>"$work/apt.log" 2>&1 || {
    tail -n 30 "$work/apt.log"
    fail "apt-get install $* failed (log: $work/apt.log)"
  }
}

step "MariaDB"
missing=()
for package in mariadb-server libtango-tools; do installed "$package" || missing+=("$package"); done
if [ "${#missing[@]}" -gt 0 ]; then install "${missing[@]}"; fi
if ! mysqladmin --connect-timeout=2 ping >/dev/null 2>&1; then
  timeout 60 /etc/init.d/mariadb start >"$work/mariadb.log" 2>&1 || {
    cat "$work/mariadb.log"
    fail "MariaDB did not start"
  }
  started_mariadb=1
  wait_until 30 "MariaDB to answer" mysqladmin --connect-timeout=2 ping
fi

step "tango-db"
if ! installed tango-db; then
  debconf-set-selections <<'EOF'
tango-common tango-common/tango-host string localhost:10000
tango-db tango-db/dbconfig-install boolean true
EOF
  install tango-db
fi
sql "select count(*) from server" >/dev/null 2>&1 ||
  fail "MariaDB holds no Tango database 'tango' (dpkg-reconfigure tango-db)"
before="$(row_counts)"

step "DataBaseds on $TANGO_HOST"
if timeout 10 tango_admin --ping-database 1 >/dev/null 2>&1; then
  echo "a database server answers on $TANGO_HOST already; using it"
else
  # As the init script runs it: user tango, whose ~/.my.cnf holds the
  # database account tango-db created.
  HOME=/var/lib/tango setsid setpriv --reuid=tango --regid=tango --init-groups \
    /usr/lib/tango/DataBaseds 2 -ORBendPoint giop:tcp:localhost:10000 \
    </dev/null >"$work/databaseds.log" 2>&1 &
  databaseds_pid=$!
  timeout 40 tango_admin --ping-database 30 >/dev/null || {
    cat "$work/databaseds.log"
    fail "DataBaseds does not answer on $TANGO_HOST"
  }
fi

step "register $server ($device)"
if tango_admin --check-server "$server" >/dev/null 2>&1; then
  fail "$server is registered already (a run that did not clean up?): tango_admin --delete-server $server --with-properties"
fi
registered=1
tango_admin --add-server "$server" OrvSpectrometer "$device"
tango_admin --add-property "$device" Provider "$provider"
tango_admin --add-property "$device" SerialNumber "$serial"
tango_admin --add-property "$device" ReconnectPeriod 500
cat >"$work/scenario.json" <<EOF
{"time_scale": 0.01, "bridges": [{"serial": "$serial", "description": "SIMULATED UV-VIS",
  "instrument": {"model": "$model"}}]}
EOF

step "start $server"
ORVSIM_SCENARIO="$work/scenario.json" "$server_binary" "$instance" </dev/null >"$work/server.log" 2>&1 &
server_pid=$!
deadline=$((SECONDS + 60))
until grep -q "Ready to accept request" "$work/server.log"; do
  kill -0 "$server_pid" 2>/dev/null || fail "$server exited: $(cat "$work/server.log")"
  [ "$SECONDS" -lt "$deadline" ] || fail "$server does not serve after 60 s: $(cat "$work/server.log")"
  sleep 0.2
done
timeout 40 tango_admin --ping-device "$device" 30 >/dev/null || fail "$device does not answer"

step "client through the database"
client="$(timeout 120 /usr/bin/python3 scripts/tango_deploy_client.py "$device" "$server" "$model" "$pixels")" ||
  fail "the client failed; the server's output ($work/server.log) ends with:
$(tail -n 20 "$work/server.log")"
echo "$client"

step "stop and remove"
stop_process "$server_pid" OrvSpectrometer
server_pid=""
unregister
tango_admin --check-server "$server" >/dev/null 2>&1 && fail "$server is still registered"
after="$(row_counts)"
if [ "$before" != "$after" ]; then
  diff <(echo "$before") <(echo "$after") || true
  fail "the Tango database holds other row counts than before the check"
fi
stop_services
echo "tango-deploy-check: $device served by $server, found and read through DataBaseds on $TANGO_HOST (spectrum, model, State, data-ready event); unregistered, database rows as before"
