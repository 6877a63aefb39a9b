#!/bin/sh
# Runs a command inside a private D-Bus session in which gnome-keyring-daemon
# serves the Secret Service with an unlocked "login" collection, all under a
# throw-away home folder. The daemon is stopped at the end, also on failure.
set -eu
tmp=$(mktemp -d "${TMPDIR:-/tmp}/keyring-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT INT TERM
mkdir -p "$tmp/home" "$tmp/data" "$tmp/config" "$tmp/cache" "$tmp/runtime"
chmod 700 "$tmp/runtime"
printf pw >"$tmp/password"

export HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" \
  XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/runtime"
# No display: nothing may try to show a prompt or start a bus through X11.
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS

dbus-run-session -- sh -c '
  password=$1; shift
  gnome-keyring-daemon --foreground --unlock --components=secrets <"$password" >/dev/null 2>&1 &
  daemon=$!
  i=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; do
    i=$((i + 1))
    if [ $i -gt 200 ] || ! kill -0 "$daemon" 2>/dev/null; then
      echo "gnome-keyring-daemon did not start" >&2
      kill "$daemon" 2>/dev/null
      exit 1
    fi
    sleep 0.05
  done
  status=0
  "$@" || status=$?
  kill "$daemon" 2>/dev/null
  wait "$daemon" 2>/dev/null
  exit $status
' sh "$tmp/password" "$@"
