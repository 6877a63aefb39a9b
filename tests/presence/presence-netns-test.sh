#!/bin/sh
# Presence on the local network with real responders: network namespaces
# joined by veth pairs to a bridge namespace, each host with its own system
# bus and its own avahi-daemon, brenvo-cli running in them.
#   presence-netns-test.sh BRENVO_CLI CASE
# CASE: stranger  a stranger browsing sees Bob's service but no name or key;
#                 Bob's responder restarts and Bob announces again
#       find      Ann and Bob, whose cards have wrong addresses, find each
#                 other; Ann downloads Bob's offer, and goes on after Bob's
#                 address changed in the middle of it
#       impostor  a host announcing Bob's token before Bob (his announcement
#                 collides and is renamed) without Bob's key, then 19 more
#                 names replaying Bob's signed announcement at its own
#                 address: never called, the download comes from Bob
#       move      Bob's machine leaves the network in the middle of a download
#                 and comes back at another address: both sides see the
#                 connection lost within 40 s, and the download completes by
#                 itself
#       vanish    Bob, connected with nothing to transfer, leaves the network:
#                 Ann sees the connection lost within 40 s
#       restarts  Ann's program started 20 times finds Bob within 3 s each time;
#                 Bob's program stops and Ann sees his announcement go
#       flood     1,100 names built on Bob's token, sent as raw mDNS from a
#                 host without avahi: Ann still finds Bob
# Exits 77 (skipped) without root, network namespaces or avahi-daemon.
set -u
cli=$1
case_name=$2

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "needs root for network namespaces"
for tool in avahi-daemon avahi-browse avahi-publish dbus-daemon dbus-send ip tc nft unshare; do
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

# retry TRIES PAUSE COMMAND...: runs COMMAND until it succeeds, at most TRIES
# times; fails when it never did.
retry() {
  rn=1 rt=$1 rp=$2; shift 2
  until "$@"; do [ $rn -lt "$rt" ] || return 1; rn=$((rn + 1)); sleep "$rp"; done
}
wait_for() { retry $(($3 * 10)) 0.1 grep -q -- "$2" "$1"; }  # FILE PATTERN SECONDS
at_least() { [ "$(grep -c -- "$2" "$3" 2>/dev/null)" -ge "$1" ]; }  # COUNT PATTERN FILE
now_ms() { date +%s%3N; }

# start_avahi NAME: NAME's avahi-daemon, its pid in avahi.pid; waits until it runs.
start_avahi() {
  name=$1; d="$work/$name"
  mkdir -p /run/avahi-daemon
  # ip netns exec, env, unshare and sh exec in place: $! is the daemon.
  ip netns exec "$prefix-$name" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$d/bus" unshare -m sh -c \
    "mount -t tmpfs tmpfs /run/avahi-daemon && exec avahi-daemon --no-drop-root --no-chroot --no-rlimits -f '$d/avahi.conf'" \
    >>"$d/avahi.log" 2>&1 &
  echo $! >"$d/avahi.pid"
  retry 200 0.1 avahi_running "$d" || fail "avahi-daemon in $name does not run"
}
avahi_running() {
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$1/bus" dbus-send --system --print-reply --dest=org.freedesktop.Avahi / \
    org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q "int32 2"
}

# host NAME ADDRESS: a namespace with lan0 on the bridge, a system bus and an
# avahi-daemon (host name from the address: the names here are the people's).
host() {
  name=$1; address=$2; ns="$prefix-$name"; d="$work/$name"
  mkdir -p "$d/run" || fail "mkdir"
  ip netns add "$ns" || fail "netns $ns"
  # Interface names have at most 15 characters: the name's first letter.
  v="$prefix$(echo "$name" | cut -c1)"
  ip link add "$v" type veth peer name "${v}x" || fail "veth"
  ip link set "$v" netns "$ns" && ip link set "${v}x" netns "$prefix-sw" || fail "veth move"
  ip -n "$ns" link set "$v" name lan0 && ip -n "$ns" link set lo up && ip -n "$ns" link set lan0 up
  ip -n "$ns" addr add "$address/24" dev lan0 || fail "address"
  ip -n "$prefix-sw" link set "${v}x" master br0 && ip -n "$prefix-sw" link set "${v}x" up
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
  retry 100 0.1 test -S "$d/bus" || fail "no bus in $name"
  start_avahi "$name"
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

# Stops the brenvo-cli processes in NAME's namespace (a backgrounded
# function's $! is its subshell, not the program) and waits until they are gone.
stop_brenvo() {
  for pid in $(ip netns pids "$prefix-$1"); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = brenvo-cli ] || continue
    kill "$pid"
    retry 100 0.1 gone "$pid" || return 1
  done
}
gone() { ! kill -0 "$1" 2>/dev/null; }
# run NAME LOG ARGS...: brenvo-cli run without Tor in the background, logging
# to NAME/LOG.log; its output goes to NAME/out.log.
run() {
  rname=$1 rlog=$2; shift 2
  brenvo "$rname" run --no-tor --log "$work/$rname/$rlog.log" "$@" >>"$work/$rname/out.log" 2>&1 &
}
# browsed NAME PATTERN: NAME's browse of the service (NAME/browse.txt) has a match.
browsed() {
  within "$1" avahi-browse -rpt _brenvo._tcp >"$work/$1/browse.txt" 2>/dev/null && grep -q -- "$2" "$work/$1/browse.txt"
}
# Bob's presence token of today.
bob_token() {
  /usr/bin/python3 - "$work/bob.card" <<'PY'
import base64, hashlib, hmac, plistlib, struct, sys, time
key = plistlib.load(open(sys.argv[1], "rb"))["key"]
mac = hmac.new(key, b"brenvo-presence" + struct.pack(">q", int(time.time()) // 86400), hashlib.sha256)
print(base64.b32encode(mac.digest()[:10]).decode().lower())
PY
}
import_both() { brenvo ann import "$work/bob.card" >/dev/null && brenvo bob import "$work/ann.card" >/dev/null; }
# Bob offers Ann 40 MB; download TIMEOUT starts Ann's program fetching it
# ($ann); transfer TIMEOUT starts both programs at $start, Bob's link at 40
# Mbit/s, so that something can change in the middle of it (once he has
# sent 12 MB, 30 %); downloaded waits for Ann's and compares.
offer() {
  import_both && mkdir -p "$work/ann/in" && head -c 40000000 /dev/urandom >"$work/offer.bin" &&
    brenvo bob share --to Ann "$work/offer.bin" >/dev/null || fail "the offer"
}
download() { run ann run --connect Bob --download-to "$work/ann/in" --accept Bob --exit-when-done --timeout "$1"; ann=$!; }
transfer() {
  offer
  ip netns exec "$prefix-bob" tc qdisc add dev lan0 root tbf rate 40mbit burst 64kb latency 400ms || fail "tc"
  start=$(now_ms)
  run bob run
  download "$1"
}
downloaded() {
  wait "$ann" || fail "Ann's download did not finish${1:-}"
  end=$(now_ms)
  cmp "$work/offer.bin" "$work/ann/in/offer.bin" || fail "the downloaded file differs"
}
sent_12mb() {
  [ "$(ip netns exec "$prefix-bob" tc -s qdisc show dev lan0 | sed -n 's/^ *Sent \([0-9]*\) bytes.*/\1/p' | head -1)" \
    -gt 12000000 ]
}
renumber_bob() {
  ip -n "$prefix-bob" addr del 10.77.0.2/24 dev lan0 && ip -n "$prefix-bob" addr add 10.77.0.3/24 dev lan0 || fail "renumber"
}
syns_at_mallory() {
  ip netns exec "$prefix-mallory" nft list table inet brenvotest | sed -n 's/.*packets \([0-9]*\).*/\1/p'
}

host ann 10.77.0.1
host bob 10.77.0.2
# Cards with addresses where nobody is: only presence finds anyone.
brenvo ann card --name Ann --address 10.77.0.98 --port 54322 -o "$work/ann.card" >/dev/null || fail "Ann's card"
brenvo bob card --name Bob --address 10.77.0.99 --port 54322 -o "$work/bob.card" >/dev/null || fail "Bob's card"

case "$case_name" in
stranger)
  run bob run
  host eve 10.77.0.5
  retry 30 0.5 browsed eve '^=' || fail "Eve sees no announcement"
  cat "$work/eve/browse.txt"
  grep -q '^=;lan0;IPv4;[a-z2-7]\{16\};_brenvo._tcp;local;h10-77-0-2.local;10.77.0.2;54322;.*"t=[a-z2-7]\{16\}"' \
    "$work/eve/browse.txt" || fail "not the announcement of a token on port 54322"
  /usr/bin/python3 - "$work/bob.card" "$work/eve/browse.txt" <<'PY' || fail "the announcement names Bob"
import base64, plistlib, sys
card = plistlib.load(open(sys.argv[1], "rb"))
text = open(sys.argv[2]).read().lower()
key = card["key"]
for needle in (card["name"], key.hex(), base64.b64encode(key).decode(), base64.urlsafe_b64encode(key).decode(),
               base64.b32encode(key).decode().rstrip("="), key.hex()[:16]):
    if needle.lower().rstrip("=") in text:
        sys.exit("found " + needle)
PY
  # Bob's responder goes and comes back: Bob announces again.
  wait_for "$work/bob/run.log" "Announced on the local network" 10 || fail "Bob's log"
  avahi=$(cat "$work/bob/avahi.pid")
  kill "$avahi"; wait "$avahi"
  wait_for "$work/bob/run.log" "responder left" 10 || fail "Bob did not see his responder leave"
  start_avahi bob
  retry 100 0.1 at_least 2 "Announced on the local network" "$work/bob/run.log" || fail "Bob did not announce again"
  ;;
find)
  transfer "${BRENVO_TEST_TIMEOUT:-90}"
  wait_for "$work/ann/run.log" "Bob is on the local network at 10.77.0.2 port 54322" 30 || fail "not found by presence"
  seen=$(now_ms)
  retry 600 0.1 sent_12mb || fail "the transfer does not start"
  moved=$(now_ms)
  renumber_bob
  downloaded
  grep -q "Bob is on the local network at 10.77.0.3" "$work/ann/run.log" || fail "Bob's new address not learned"
  echo "find: Bob found by presence $((seen - start)) ms after both programs started"
  echo "find: 40 MB at 40 Mbit/s finished $((end - start)) ms after the start," \
    "$((end - moved)) ms after Bob's address changed (30 % through)"
  ;;
impostor)
  offer
  # Mallory announces Bob's token of today at her address, where a program
  # with another key listens; she was there first, so Bob's own
  # announcement collides and takes another name.
  token=$(bob_token)
  host mallory 10.77.0.6
  brenvo mallory card --name Mallory --port 54322 >/dev/null
  run mallory run
  ip netns exec "$prefix-mallory" nft -f - <<NFT || fail "nft"
table inet brenvotest {
  chain input {
    type filter hook input priority 0;
    tcp dport 54322 tcp flags syn counter
  }
}
NFT
  within mallory avahi-publish -s "$token" _brenvo._tcp 54322 "t=$token" >"$work/mallory/publish.log" 2>&1 &
  wait_for "$work/mallory/publish.log" "Established" 20 || fail "Mallory's announcement"
  run bob run
  wait_for "$work/bob/run.log" "name is taken" 20 || fail "Bob's announcement did not collide"
  wait_for "$work/bob/run.log" "Announced on the local network" 20 || fail "Bob not announced after the collision"
  # Mallory copies Bob's signed announcement and replays it under 19 more
  # names at her own address.
  retry 30 0.5 browsed mallory "^=;lan0;IPv4;.*;10.77.0.2;54322;.*s=" || fail "Mallory does not see Bob's announcement"
  txt=$(grep "^=;lan0;IPv4;.*;10.77.0.2;54322;" "$work/mallory/browse.txt" | head -1 | cut -d';' -f10- | tr -d '"')
  for n in $(seq 3 21); do
    # shellcheck disable=SC2086
    within mallory avahi-publish -s "$token #$n" _brenvo._tcp 54322 $txt >"$work/mallory/publish$n.log" 2>&1 &
  done
  for n in $(seq 3 21); do
    wait_for "$work/mallory/publish$n.log" "Established" 20 || fail "Mallory's replay #$n"
  done
  # Bob goes away: Ann, with work for him, sees only Mallory's names.
  stop_brenvo bob || fail "Bob's program does not stop"
  start=$(now_ms)
  download 60
  retry 200 0.1 at_least 19 "Resolved \"$token #[0-9]*\" to 10.77.0.6" "$work/ann/run.log" \
    || fail "Ann did not resolve Mallory's names"
  # Until Ann's next call after the sightings has ended (it tries what
  # presence learned before the card), Mallory gets no SYN.
  called_again() {
    [ "$(syns_at_mallory)" = 0 ] || fail "Ann called Mallory's address ($(syns_at_mallory) SYN)"
    at_least 2 "trying again" "$work/ann/out.log"
  }
  retry 300 0.1 called_again || fail "Ann did not call again"
  # Bob comes back: the download comes from him.
  run bob run2
  downloaded
  attempts=$(syns_at_mallory)
  ignored=$(grep -c "Ignored \"$token" "$work/ann/run.log")
  echo "impostor: Ann's calls to Mallory: $attempts; announcements of Bob's token ignored: $ignored;" \
    "download from Bob (away, then back) done $((end - start)) ms after Ann's start"
  [ "$attempts" = 0 ] || fail "$attempts calls to the impostor"
  grep -q "Bob is on the local network at 10.77.0.2 port 54322" "$work/ann/run.log" || fail "Bob not found"
  ;;
move|vanish)
  # Bob's cable: his end of the veth pair on the switch.
  cable="${prefix}bx"
  # lost NAME WHO: waits (40 s at most) for NAME's program to report WHO disconnected.
  lost() { wait_for "$work/$1/out.log" "disconnected $2" 40; }
  if [ "$case_name" = vanish ]; then
    import_both || fail "import"
    run bob run
    run ann run --connect Bob
    wait_for "$work/ann/out.log" "connected Bob" 30 || fail "Ann did not connect"
    ip -n "$prefix-sw" link set "$cable" nomaster || fail "unplug"
    gone=$(now_ms)
    lost ann Bob || fail "Ann still takes Bob for connected 40 s after he left"
    echo "vanish: Ann saw the idle connection to Bob lost $(($(now_ms) - gone)) ms after he left"
    exit 0
  fi
  transfer 110
  retry 600 0.1 sent_12mb || fail "the transfer does not start"
  # Bob walks away: nothing tells either side.
  ip -n "$prefix-sw" link set "$cable" nomaster || fail "unplug"
  gone=$(now_ms)
  lost ann Bob || fail "Ann still takes Bob for connected 40 s after he left"
  ann_lost=$(($(now_ms) - gone))
  lost bob Ann || fail "Bob still takes Ann for connected 40 s after he left"
  bob_lost=$(($(now_ms) - gone))
  # He arrives on a network that gives him another address.
  ip -n "$prefix-sw" link set "$cable" master br0 || fail "plug in"
  renumber_bob
  back=$(now_ms)
  downloaded " by itself"
  echo "move: Bob left 30 % through 40 MB; the connection seen lost after $ann_lost ms by Ann, $bob_lost ms by Bob;" \
    "back at another address, the download completed $((end - back)) ms later ($((end - start)) ms in all)"
  ;;
restarts|flood)
  brenvo ann import "$work/bob.card" >/dev/null || fail "import"
  run bob run
  wait_for "$work/bob/run.log" "Announced on the local network" 20 || fail "Bob not announced"
  rounds=20
  if [ "$case_name" = flood ]; then
    rounds=1
    token=$(bob_token)
    host mallory 10.77.0.6
    avahi=$(cat "$work/mallory/avahi.pid"); kill "$avahi"; wait "$avahi" 2>/dev/null
    # Raw mDNS answers: "TOKEN #2" to "#1101" at Mallory's address, 8 to a packet.
    ip netns exec "$prefix-mallory" /usr/bin/python3 - "$token" <<'PY' || fail "the flood"
import socket, struct, sys, time
token = sys.argv[1]
def name(*labels):
    return b"".join(bytes([len(l)]) + l for l in (x.encode() for x in labels)) + b"\0"
def record(owner, rtype, rclass, rdata):
    return owner + struct.pack(">HHIH", rtype, rclass, 120, len(rdata)) + rdata
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("10.77.0.6", 5353))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("10.77.0.6"))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 255)
target = name("flood", "local")
names = ["%s #%d" % (token, n) for n in range(2, 1102)]
for i in range(0, len(names), 8):
    records = [record(target, 1, 0x8001, socket.inet_aton("10.77.0.6"))]
    for n in names[i:i + 8]:
        instance = name(n, "_brenvo", "_tcp", "local")
        records.append(record(name("_brenvo", "_tcp", "local"), 12, 1, instance))
        records.append(record(instance, 33, 0x8001, struct.pack(">HHH", 0, 0, 54322) + target))
        txt = ("t=" + token).encode()
        records.append(record(instance, 16, 0x8001, bytes([len(txt)]) + txt))
    s.sendto(struct.pack(">HHHHHH", 0, 0x8400, 0, len(records), 0, 0) + b"".join(records), ("224.0.0.251", 5353))
    time.sleep(0.02)  # the receiving responder's socket buffer holds a few dozen
PY
    flooded() { [ "$(within ann avahi-browse -pt _brenvo._tcp 2>/dev/null | grep -c '^+;lan0;IPv4;')" -gt 1000 ]; }
    retry 100 0.2 flooded || fail "Ann's responder did not take the flood"
  fi
  worst=0
  for n in $(seq 1 $rounds); do
    start=$(now_ms)
    run ann "run$n"
    ann=$!
    wait_for "$work/ann/run$n.log" "Bob is on the local network at 10.77.0.2 port 54322" $((rounds == 1 ? 60 : 3)) \
      || fail "round $n: Ann did not find Bob"
    took=$(($(now_ms) - start))
    stop_brenvo ann || fail "Ann's program does not stop"
    wait "$ann"
    [ "$took" -gt "$worst" ] && worst=$took
  done
  if [ "$case_name" = flood ]; then
    refused=$(grep -c "pending replies" "$work/ann/run1.log")
    echo "flood: Bob found among 1,100 names on his token $worst ms after Ann's start; lookups refused by the bus: $refused"
  else
    echo "restarts: Bob found in each of $rounds starts of Ann's program, at worst $worst ms after the start"
    run ann last
    wait_for "$work/ann/last.log" "Bob is on the local network" 5 || fail "Ann did not find Bob"
    stop_brenvo bob || fail "Bob's program does not stop"
    stopped=$(now_ms)
    wait_for "$work/ann/last.log" "Bob is no longer announced on the local network" 10 \
      || fail "Ann did not see Bob's announcement go"
    echo "restarts: Bob's program stopped; Ann saw his announcement go $(($(now_ms) - stopped)) ms later"
  fi
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
exit 0
