#!/bin/sh
# Runs a command with a private bus standing in for the system bus, on which
# fake-avahi.py plays avahi-daemon. The bus allows only 32 pending replies per
# connection (the real system bus a few hundred): a client that does not
# queue its lookups gets calls refused. Everything started here is stopped
# at the end.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
bus_pid=""
fake_pid=""
cleanup() {
  [ -n "$fake_pid" ] && kill "$fake_pid" 2>/dev/null || true
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

cat >"$tmp/bus.conf" <<CONF
<busconfig>
  <listen>unix:path=$tmp/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
  </policy>
  <limit name="max_replies_per_connection">32</limit>
</busconfig>
CONF
dbus-daemon --config-file="$tmp/bus.conf" --nofork --nopidfile &
bus_pid=$!
i=0
while [ ! -S "$tmp/bus" ]; do
  i=$((i + 1)); [ $i -gt 100 ] && { echo "no private bus" >&2; exit 1; }
  sleep 0.05
done
DBUS_SYSTEM_BUS_ADDRESS="unix:path=$tmp/bus"
export DBUS_SYSTEM_BUS_ADDRESS

/usr/bin/python3 "$here/fake-avahi.py" >"$tmp/fake.log" 2>&1 &
fake_pid=$!
i=0
until dbus-send --bus="$DBUS_SYSTEM_BUS_ADDRESS" --print-reply --dest=org.freedesktop.DBus / \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Avahi 2>/dev/null | grep -q 'boolean true'; do
  i=$((i + 1)); [ $i -gt 200 ] && { echo "the fake responder did not start" >&2; cat "$tmp/fake.log" >&2; exit 1; }
  sleep 0.05
done

"$@"
