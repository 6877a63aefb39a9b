#!/bin/sh
# Presence on the local network with real responders: network namespaces
# joined by veth pairs to a bridge namespace, each host with its own system
# bus and its own avahi-daemon, brenvo-cli running in them.
#   presence-netns-test.sh BRENVO_CLI CASE
# CASE: stranger  a stranger browsing sees Bob's service but no name or key
#       find      Ann finds Bob (whose card has a wrong address) and downloads
#       impostor  a host announcing Bob's token without Bob's key: one failed
#                 handshake, no connection
# Exits 77 (skipped) without root, network namespaces or avahi-daemon.
set -u
cli=$1
case_name=$2

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "needs root for network namespaces"
for tool in avahi-daemon avahi-browse dbus-daemon dbus-send ip unshare timeout; do
  command -v "$tool" >/dev/null 2>&1 || skip "no $tool"
done

prefix="bvpr$$"
work=$(mktemp -d "${TMPDIR:-/tmp}/brenvo-presence.XXXXXX")
ip netns add "$prefix-probe" 2>/dev/null || skip "cannot create network namespaces"
ip netns del "$prefix-probe"

cleanup() {
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep "^$prefix-"); do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    ip netns del "$ns" 2>/dev/null
  done
  [ -n "${keep:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log "$work"/*/*.log; do [ -f "$f" ] && { echo "== $f"; tail -n 40 "$f"; }; done
  exit 1
}

# The "switch": a bridge in a namespace of its own; each host a veth pair to it.
ip netns add "$prefix-sw" || fail "netns"
ip -n "$prefix-sw" link add br0 type bridge && ip -n "$prefix-sw" link set br0 up || fail "bridge"
ip -n "$prefix-sw" link set lo up

# host NAME ADDRESS: a namespace with lan0 on the bridge, a system bus and an
# avahi-daemon (host name from the address: the names here are the people's).
host() {
  name=$1; address=$2; ns="$prefix-$name"; d="$work/$name"
  mkdir -p "$d/run" || fail "mkdir"
  ip netns add "$ns" || fail "netns $ns"
  ip link add "$prefix$name" type veth peer name "${prefix}x$name" || fail "veth"
  ip link set "$prefix$name" netns "$ns" && ip link set "${prefix}x$name" netns "$prefix-sw" || fail "veth move"
  ip -n "$ns" link set "$prefix$name" name lan0 && ip -n "$ns" link set lo up && ip -n "$ns" link set lan0 up
  ip -n "$ns" addr add "$address/24" dev lan0 || fail "address"
  ip -n "$prefix-sw" link set "${prefix}x$name" master br0 && ip -n "$prefix-sw" link set "${prefix}x$name" up
  cat >"$d/bus.conf" <<CONF
<busconfig>
  <type>system</type>
  <listen>unix:path=$d/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
  </policy>
</busconfig>
CONF
  cat >"$d/avahi.conf" <<CONF
[server]
host-name=h$(echo "$address" | tr . -)
domain-name=local
use-ipv4=yes
use-ipv6=yes
allow-interfaces=lan0
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
CONF
  ip netns exec "$ns" dbus-daemon --config-file="$d/bus.conf" --nofork --nopidfile >"$d/bus.log" 2>&1 &
  i=0; while [ ! -S "$d/bus" ]; do i=$((i + 1)); [ $i -lt 100 ] || fail "no bus in $name"; sleep 0.1; done
  mkdir -p /run/avahi-daemon
  ip netns exec "$ns" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$d/bus" unshare -m sh -c \
    "mount -t tmpfs tmpfs /run/avahi-daemon && exec avahi-daemon --no-drop-root --no-chroot --no-rlimits -f '$d/avahi.conf'" \
    >"$d/avahi.log" 2>&1 &
  i=0
  until DBUS_SYSTEM_BUS_ADDRESS="unix:path=$d/bus" dbus-send --system --print-reply --dest=org.freedesktop.Avahi / \
      org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q "int32 2"; do
    i=$((i + 1)); [ $i -lt 200 ] || fail "avahi-daemon in $name does not run"; sleep 0.1
  done
}

# within NAME COMMAND...: runs a command in NAME's namespace with its system bus.
within() {
  name=$1; shift
  ip netns exec "$prefix-$name" env HOME="$work/$name" XDG_DATA_HOME="$work/$name/share" \
    XDG_RUNTIME_DIR="$work/$name/run" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/$name/bus" \
    DBUS_SESSION_BUS_ADDRESS= "$@"
}
brenvo() {
  name=$1; shift
  within "$name" "$cli" --data-dir "$work/$name/data" --key-store file "$@"
}

# Waits (bounded, SECONDS) until a file contains a pattern.
wait_for() {
  file=$1; pattern=$2; seconds=$3; i=0
  until grep -q -- "$pattern" "$file" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt $((seconds * 10)) ] || return 1; sleep 0.1
  done
}

now_ms() { date +%s%3N; }

host ann 10.77.0.1
host bob 10.77.0.2
# Cards: Bob's with an address where nobody is.
brenvo ann card --name Ann --address 10.77.0.1 --port 54322 -o "$work/ann.card" >/dev/null || fail "Ann's card"
bob_line=$(brenvo bob card --name Bob --address 10.77.0.99 --port 54322 -o "$work/bob.card") || fail "Bob's card"
bob_hex=$(echo "$bob_line" | cut -f2 | tr -d ' ')

case "$case_name" in
stranger)
  brenvo bob run --log "$work/bob/run.log" >/dev/null 2>&1 &
  host eve 10.77.0.5
  i=0
  until within eve avahi-browse -rpt _brenvo._tcp >"$work/browse.txt" 2>/dev/null && grep -q '^=' "$work/browse.txt"; do
    i=$((i + 1)); [ $i -lt 30 ] || fail "Eve sees no announcement"; sleep 0.5
  done
  cat "$work/browse.txt"
  grep -q '^=;lan0;IPv4;[a-z2-7]\{16\};_brenvo._tcp;local;h10-77-0-2.local;10.77.0.2;54322;"t=[a-z2-7]\{16\}"$' \
    "$work/browse.txt" || fail "not the announcement of a token on port 54322"
  /usr/bin/python3 - "$work/bob.card" "$work/browse.txt" <<'PY' || fail "the announcement names Bob"
import base64, plistlib, sys
card = plistlib.load(open(sys.argv[1], "rb"))
text = open(sys.argv[2]).read().lower()
key = card["key"]
for needle in (card["name"], key.hex(), base64.b64encode(key).decode(), base64.urlsafe_b64encode(key).decode(),
               base64.b32encode(key).decode().rstrip("="), key.hex()[:16]):
    if needle.lower().rstrip("=") in text:
        sys.exit("found " + needle)
PY
  ;;
find|impostor)
  brenvo ann import "$work/bob.card" >/dev/null && brenvo bob import "$work/ann.card" >/dev/null || fail "import"
  head -c 20000000 /dev/urandom >"$work/offer.bin"
  brenvo bob share --to Ann "$work/offer.bin" >/dev/null || fail "share"
  if [ "$case_name" = impostor ]; then
    # Mallory announces Bob's token (read from Bob's own announcement) at
    # her address, where a program with another key listens.
    host mallory 10.77.0.6
    brenvo bob run --log "$work/bob/run.log" >/dev/null 2>&1 &
    bobrun=$!
    i=0
    until within mallory avahi-browse -pt _brenvo._tcp 2>/dev/null | grep -q "^+;lan0;IPv4"; do
      i=$((i + 1)); [ $i -lt 30 ] || fail "Bob not announced"; sleep 0.5
    done
    token=$(within mallory avahi-browse -pt _brenvo._tcp | grep "^+;lan0;IPv4" | head -1 | cut -d';' -f4)
    kill "$bobrun"; wait "$bobrun"
    brenvo mallory card --name Bob --port 54322 >/dev/null
    brenvo mallory run --log "$work/mallory/run.log" >/dev/null 2>&1 &
    within mallory avahi-publish -s "$token #2" _brenvo._tcp 54322 "t=$token" >"$work/mallory/publish.log" 2>&1 &
    brenvo ann run --download-to "$work/ann/in" --log "$work/ann/run.log" >/dev/null 2>&1 &
    wait_for "$work/ann/run.log" "Bob is on the local network at 10.77.0.6" 20 || fail "Ann did not see the impostor"
    sleep 5  # an attempt would be made within this time
    attempts=$(grep -c "10.77.0.6" "$work/mallory/run.log")
    grep -q "Connected to Bob\|is now connected" "$work/ann/run.log" && fail "Ann connected to the impostor"
    echo "impostor: $attempts lines of Mallory's log mention Ann's attempts"
    exit 0
  fi
  mkdir -p "$work/ann/in"
  start=$(now_ms)
  brenvo bob run --log "$work/bob/run.log" >/dev/null 2>&1 &
  brenvo ann run --download-to "$work/ann/in" --exit-when-done --timeout "${BRENVO_TEST_TIMEOUT:-60}" --log "$work/ann/run.log" \
    >"$work/ann/out.log" 2>&1 || fail "Ann's download did not finish"
  end=$(now_ms)
  cmp "$work/offer.bin" "$work/ann/in/offer.bin" || fail "the downloaded file differs"
  grep -q "Bob is on the local network at 10.77.0.2 port 54322" "$work/ann/run.log" || fail "not found by presence"
  echo "find: from both programs starting to the finished 20 MB download: $((end - start)) ms"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
exit 0
