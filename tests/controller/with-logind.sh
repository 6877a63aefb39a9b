#!/bin/sh
# Runs a command with a private bus standing in for the system bus, on which
# python-dbusmock plays logind. Everything started here is stopped at the end.
set -eu
tmp=$(mktemp -d)
bus_pid=""
mock_pid=""
cleanup() {
  [ -n "$mock_pid" ] && kill "$mock_pid" 2>/dev/null || true
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

dbus-daemon --session --nofork --print-address=3 --print-pid=4 3>"$tmp/address" 4>"$tmp/pid" &
bus_pid=$!
i=0
while [ ! -s "$tmp/address" ]; do
  i=$((i + 1)); [ $i -gt 100 ] && { echo "no private bus" >&2; exit 1; }
  sleep 0.05
done
DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$tmp/address")
export DBUS_SYSTEM_BUS_ADDRESS

/usr/bin/python3 -m dbusmock --system -t logind >"$tmp/mock.log" 2>&1 &
mock_pid=$!
i=0
until dbus-send --bus="$DBUS_SYSTEM_BUS_ADDRESS" --print-reply --dest=org.freedesktop.DBus / \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.login1 2>/dev/null | grep -q 'boolean true'; do
  i=$((i + 1)); [ $i -gt 200 ] && { echo "logind mock did not start" >&2; cat "$tmp/mock.log" >&2; exit 1; }
  sleep 0.05
done

"$@"
