#!/bin/sh
# Runs a command inside a private D-Bus session in which gnome-keyring-daemon
# serves the Secret Service, all under a throw-away home folder. Everything
# started here is stopped at the end, also on failure.
#
#   with-keyring.sh [--no-login] [--silent-prompter] command...
#
# By default the daemon creates and unlocks a "login" collection, which
# becomes the default one. --no-login starts it without, so that there is no
# default collection. --silent-prompter puts a process on the bus under the
# password prompter's name that never answers, like a prompt nobody sees.
set -eu
unlock=1
prompter=0
while [ $# -gt 0 ]; do
  case "$1" in
    --no-login) unlock=0; shift ;;
    --silent-prompter) prompter=1; shift ;;
    *) break ;;
  esac
done

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
  unlock=$1 prompter=$2 password=$3; shift 3
  has_owner() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q "boolean true"
  }
  # Waits (at most 10 s) until name $1 has an owner while process $2 lives.
  wait_for() {
    i=0
    until has_owner "$1"; do
      i=$((i + 1))
      if [ $i -gt 200 ] || ! kill -0 "$2" 2>/dev/null; then
        echo "$1 did not appear on the bus" >&2
        return 1
      fi
      sleep 0.05
    done
  }
  pids=""
  stop() { for p in $pids; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; }

  if [ "$prompter" = 1 ]; then
    /usr/bin/python3 -c "import dbus, time
bus = dbus.SessionBus()
bus.request_name(\"org.gnome.keyring.SystemPrompter\")
time.sleep(3600)" &
    pids="$pids $!"
    wait_for org.gnome.keyring.SystemPrompter $! || { stop; exit 1; }
  fi
  if [ "$unlock" = 1 ]; then
    gnome-keyring-daemon --foreground --unlock --components=secrets <"$password" >/dev/null 2>&1 &
  else
    gnome-keyring-daemon --foreground --components=secrets </dev/null >/dev/null 2>&1 &
  fi
  pids="$pids $!"
  wait_for org.freedesktop.secrets $! || { stop; exit 1; }

  status=0
  "$@" || status=$?
  stop
  exit $status
' sh "$unlock" "$prompter" "$tmp/password" "$@"
