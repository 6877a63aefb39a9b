#!/bin/bash
# Runs a Python driver of the desktop program in a sandbox:
#   run_e2e.sh BRENVO BRENVO_CLI SCRIPT [ARGS...]
# The sandbox is a network namespace with loopback only (port mapping stays on, so
# the gateway search must not reach this machine's network) and a PID namespace
# (everything started dies with it), Xvfb, a private session bus with the
# accessibility bus, and a temporary HOME and XDG directories. At the end every
# process left is asked to stop, so Xvfb removes its lock, then killed.
# Exits 77 (skipped) where no network namespace can be made.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 3 ] || { echo "usage: $0 BRENVO BRENVO_CLI SCRIPT [ARGS...]" >&2; exit 2; }

if [ -z "${BRENVO_SANDBOXED:-}" ]; then
    if ! unshare -n -p -f -m --mount-proc true 2>/dev/null; then
        echo "SKIP: cannot create a network namespace (unshare -n needs root or user namespaces);" \
             "the desktop program is never run against this machine's network" >&2
        exit 77
    fi
    exec unshare -n -p -f -m --mount-proc --kill-child env BRENVO_SANDBOXED=1 bash "$0" "$@"
fi

ip link set lo up
# A /tmp of its own: Xvfb's lock files and sockets never meet another X server's.
# What the run needs from the old /tmp (a checkout or build folder there, the
# programs, the script and its arguments) is mounted back at its place, from
# a descriptor opened on it before (a path through /tmp would lead into the
# new one).
keep=() kept=()
for path in "$here" "$PWD" "$@"; do
    case $path in /*) ;; *) path=$PWD/$path ;; esac
    case $path in /tmp/?*) ;; *) continue ;; esac
    top=${path#/tmp/}
    top=${top%%/*}
    case " ${keep[*]+${keep[*]}} " in *" $top "*) continue ;; esac
    [ -e "/tmp/$top" ] && [ "$top" != . ] && [ "$top" != .. ] || continue
    exec {fd}<"/tmp/$top"
    keep+=("$top") kept+=("$fd")
done
mount -t tmpfs -o mode=1777 tmpfs /tmp
for i in ${keep[@]+"${!keep[@]}"}; do
    top=${keep[$i]} fd=${kept[$i]}
    if [ -d "/proc/$$/fd/$fd" ]; then mkdir "/tmp/$top"; else : >"/tmp/$top"; fi
    mount --bind --no-canonicalize "/proc/$$/fd/$fd" "/tmp/$top"
    exec {fd}<&-
done
sandbox=$(mktemp -d /tmp/brenvo-e2e.XXXXXX)
# This shell is the PID namespace's first process: /proc lists only the sandbox.
# shellcheck disable=SC2317  # run by the trap
end_sandbox() {
    kill -TERM -1 2>/dev/null || true
    for _ in $(seq 50); do
        left=(/proc/[0-9]*)
        [ ${#left[@]} -le 1 ] && break
        sleep 0.1
    done
    kill -KILL -1 2>/dev/null || true
    rm -rf "$sandbox"
}
trap end_sandbox EXIT
mkdir -m 0700 "$sandbox/home" "$sandbox/config" "$sandbox/data" "$sandbox/runtime"
export HOME="$sandbox/home" XDG_CONFIG_HOME="$sandbox/config" XDG_DATA_HOME="$sandbox/data" \
       XDG_RUNTIME_DIR="$sandbox/runtime" TMPDIR="$sandbox"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS SESSION_MANAGER QT_QPA_PLATFORM \
      QT_QPA_PLATFORMTHEME QT_SCALE_FACTOR_ROUNDING_POLICY
# English texts and numbers unless a test asks for a language.
export LANG=C.UTF-8
unset LANGUAGE LC_ALL LC_MESSAGES LC_NUMERIC
export NO_AT_BRIDGE=0 QT_ACCESSIBILITY=1 PYTHONDONTWRITEBYTECODE=1 BRENVO_UI_SCREEN="${BRENVO_UI_SCREEN:-1280x800x24}"

# Sanitizer builds: ignore a known read in the X keyboard library.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}suppressions=$here/asan.supp"
brenvo=$1 cli=$2 script=$3
shift 3
# -noreset: Xvfb would otherwise reset when its last client leaves, and a
# program connecting just then finds no display.
# shellcheck disable=SC2016  # expanded by the inner sh
xvfb-run -a -e "$sandbox/xvfb.log" -s "-screen 0 $BRENVO_UI_SCREEN -nolisten tcp -noreset" dbus-run-session -- sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    PYTHONPATH="$0${PYTHONPATH:+:$PYTHONPATH}" /usr/bin/python3 "$@"
' "$here" "$script" "$brenvo" "$cli" "$@" || status=$?
[ "${status:-0}" -eq 0 ] || [ ! -s "$sandbox/xvfb.log" ] || { echo "--- Xvfb:"; cat "$sandbox/xvfb.log"; } >&2
exit "${status:-0}"
