#!/bin/sh
# Two people in homes behind NAT routers without UPnP, with cards whose
# addresses do not work, reaching each other through a private Tor network
# (tornet.sh) with brenvo-cli's own tors.
#   tor-netns-test.sh BRENVO_CLI CASE [HOSTILEPEER]
# CASE: reach     Bob offers 50 MB to Ann; it arrives whole with nobody
#                 typing anything, although Bob's router takes a new address
#                 in the middle of it and Ann's tor is killed later on
#       direct    the same homes with cards that hold their real addresses:
#                 the routers drop calls from outside, but keep ports, so
#                 once connected through Tor the two call each other at once
#                 and 200 MB go over the direct connection that takes over
#       ipv6      homes with global IPv6 addresses behind stateful firewalls
#                 and cards whose addresses do not work: direct over IPv6
#                 after the endpoints are told through Tor
#       random    Bob's router picks a new source port for every
#                 destination: the two stay on Tor and say so
#       natpmp    Bob's router forwards his port through NAT-PMP: Ann reaches
#                 Bob's card address at once, without Tor
#       stranger  Mallory, who has Ann's card but is not among Ann's people,
#                 cannot connect, and tor tells her the same whether Ann runs
#                 or not; Bob, who tells and uses no direct endpoints, stays
#                 on Tor
#       hostile   Bob sends endpoints of his own making (see the case)
# Exits 77 (skipped) without root, network namespaces or tor.
set -u
cli=$1
case_name=$2
here=$(cd "$(dirname "$0")" && pwd)
TORNET_DIR=$here
. "$here/tornet.sh"

skip() { echo "SKIPPED: $*"; exit 77; }
why=$(tornet_check) || skip "$why"

# Short: tor's Unix-domain socket paths must fit in 107 bytes.
work=$(mktemp -d /tmp/bt.XXXXXX)
cleanup() {
  tornet_down
  [ -n "${keep:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*"
  for f in "$work"/*/*.log; do [ -f "$f" ] && { echo "== $f"; tail -n 40 "$f"; }; done
  tornet_logs
  exit 1
}

now_ms() { date +%s%3N; }
start=$(now_ms)
since() { echo "$(( ($(now_ms) - start) / 100 ))" | sed 's/.$/.&/'; }

# Waits (bounded, SECONDS) until a file contains a pattern; or with
# wait_for arrived BYTES SECONDS, until that much of Ann's download is on disk
# (the partial file is sparse until it is whole).
wait_for() {
  i=0
  until if [ "$1" = arrived ]; then [ "$(du -B1 -c "$work"/ann/in/offer.bin* 2>/dev/null | tail -n1 | cut -f1)" -ge "$2" ]
      else grep -q -- "$2" "$1" 2>/dev/null; fi; do
    i=$((i + 1)); [ $i -lt $(($3 * 10)) ] || return 1; sleep 0.1
  done
}

brenvo() {
  name=$1; shift
  tornet_in "$name" env HOME="$work/$name" XDG_DATA_HOME="$work/$name/share" XDG_RUNTIME_DIR="$work/$name/run" \
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent DBUS_SESSION_BUS_ADDRESS= \
    "$cli" --data-dir "$work/$name/d" --key-store file "$@"
}
# run NAME ARGS...: brenvo-cli run in the background with the lab's tor lines.
run() {
  name=$1; shift
  case " $* " in *" --map-port "*) ;; *) set -- --no-upnp "$@" ;; esac
  brenvo "$name" run --tor-torrc "$work/lab/tornet.torrc" --log "$work/$name/run.log" "$@" \
    >"$work/$name/out.log" 2>&1 &
}

tornet_up "$work/lab" "bt$$" || fail "the Tor network did not come up"
echo "network up after $(since) s"
nat=
[ "$case_name" = random ] && nat="random,fully-random"
tornet_home ann 192.168.1.0/24 198.18.0.101 || fail "Ann's home"
tornet_home bob 192.168.1.0/24 198.18.0.102 "$nat" || fail "Bob's home"
for name in ann bob mallory; do mkdir -p "$work/$name/run" "$work/$name/in" && chmod 700 "$work/$name/run"; done
# Addresses where nobody is: only Tor leads anywhere.
ann_at=192.0.2.10 bob_at=192.0.2.11
case "$case_name" in
direct|random) ann_at=198.18.0.101 bob_at=198.18.0.102 ;;
ipv6) { tornet_home6 ann 1 && tornet_home6 bob 2; } || fail "IPv6 for the homes" ;;
natpmp) bob_at=1.2.3.4; tornet_natpmp bob $bob_at || fail "Bob's NAT-PMP router" ;;
esac
brenvo ann card --name Ann --address $ann_at --port 54322 -o "$work/ann.card" >/dev/null || fail "Ann's card"
brenvo bob card --name Bob --address $bob_at --port 54322 -o "$work/bob.card" >/dev/null || fail "Bob's card"
brenvo ann import "$work/bob.card" >/dev/null && brenvo bob import "$work/ann.card" >/dev/null || fail "import"

# offer MB [BOB'S RUN OPTIONS]: Bob offers Ann MB megabytes; both run, Ann
# (with ann_opts) until the download is whole (ann_pid).
ann_opts="--exit-when-done"
offer() {
  head -c "${1}000000" /dev/urandom >"$work/offer.bin"
  brenvo bob share --to Ann "$work/offer.bin" >/dev/null || fail "share"
  shift
  run bob "$@"
  [ "$case_name" != natpmp ] || wait_for "$work/bob/run.log" "Mapped port 54322." 30 || fail "Bob's router mapped no port"
  start=$(now_ms)
  run ann --accept Bob --download-to "$work/ann/in" --timeout 110 $ann_opts
  ann_pid=$!
}

# arrived_whole: Ann's run ended well with the file as Bob offered it, no
# block of it received twice.
arrived_whole() {
  [ -z "$ann_pid" ] || wait "$ann_pid" || fail "Ann's run did not end well ($?)"
  cmp "$work/offer.bin" "$work/ann/in/offer.bin" || fail "the file that arrived differs"
  grep -q "written already" "$work/ann/run.log" && fail "a block arrived twice"
  rate=$(grep -o "blocks in this run, [0-9.]* MiB/s" "$work/ann/out.log" | grep -o "[0-9.]* MiB/s")
}

# through_tor_then_direct ANN'S ADDRESS: connected through Tor, then directly,
# and Bob's side took the direct connection to that address.
through_tor_then_direct() {
  wait_for "$work/ann/out.log" "connected Bob through Tor" 90 || fail "Ann and Bob did not connect through Tor"
  tor_at=$(now_ms)
  wait_for "$work/ann/out.log" "connected Bob directly" 60 || fail "no direct connection took over"
  direct_at=$(now_ms)
  arrived_whole
  grep -qF "Connected to Ann directly at $1: the connection through Tor is closed" "$work/bob/run.log" \
    || fail "Bob's side did not take the direct connection"
  echo "through Tor after $((tor_at - start)) ms, direct $((direct_at - tor_at)) ms later; the whole download at $rate"
}

# plain_copy MIB: as much copied over plain TCP from Bob's home to a host on
# the internet, for comparison.
plain_copy() {
  tornet_in net python3 -c '
import socket
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1); s.bind(("198.18.0.11", 9000)); s.listen(1)
s.settimeout(30); c, _ = s.accept(); n = 0
while True:
    b = c.recv(1 << 20)
    if not b: break
    n += len(b)
c.sendall(b"%d" % n)' &
  tornet_in bob python3 -c '
import socket, sys, time
for i in range(100):
    try: s = socket.create_connection(("198.18.0.11", 9000), timeout=5); break
    except OSError: time.sleep(0.1)
t = time.time(); chunk = b"x" * (1 << 20); n = int(sys.argv[1])
for i in range(n): s.sendall(chunk)
s.shutdown(socket.SHUT_WR); s.recv(64)
print("plain TCP copy of %d MiB: %.1f MiB/s" % (n, n / (time.time() - t)))' "$1" || fail "the plain copy"
}

case "$case_name" in
reach)
  head -c 50000000 /dev/urandom >"$work/offer.bin"
  brenvo bob share --to Ann "$work/offer.bin" >/dev/null || fail "share"
  start=$(now_ms)
  run bob
  run ann --accept Bob --download-to "$work/ann/in" --exit-when-done --timeout 240
  ann_pid=$!
  wait_for "$work/bob/run.log" "Reachable through tor at" 60 || fail "Bob's service was not published"
  echo "Bob reachable through Tor after $(since) s"
  wait_for "$work/ann/out.log" "connected Bob through Tor" 90 || fail "Ann and Bob did not connect through Tor"
  echo "connected through Tor after $(since) s"
  # Bob's line gets a new address once a fifth has arrived.
  wait_for arrived 10000000 120 || fail "no 10 MB after 120 s"
  echo "10 MB after $(since) s: Bob's router takes a new address"
  tornet_change_wan bob 198.18.0.103 || fail "new address"
  wait_for arrived 30000000 200 || fail "no 30 MB 200 s after that"
  echo "30 MB after $(since) s: Ann's tor is killed"
  pkill -KILL -f "$work/ann/d/tor/torrc" || fail "Ann's tor was not running"
  wait "$ann_pid" || fail "Ann's run did not end well ($?)"
  echo "done after $(since) s"
  cmp "$work/offer.bin" "$work/ann/in/offer.bin" || fail "the file that arrived differs"
  grep -q "tor ended" "$work/ann/run.log" && grep -c "Starting tor" "$work/ann/run.log" | grep -qv '^1$' \
    || fail "Ann's tor was not started again"
  mb=$(echo "scale=2; 50 / ($(since))" | bc)
  echo "50 MB through Tor: about $mb MB/s over the whole run"
  ;;
direct)
  offer 200
  through_tor_then_direct 198.18.0.101:54322
  plain_copy 190
  ;;
ipv6)
  offer 100
  through_tor_then_direct "[2001:db8:1::2]:54322"
  plain_copy 95
  ;;
random)
  # Ann stays after the download, to hear that no direct path worked.
  ann_opts=
  offer 10
  wait_for "$work/ann/out.log" "connected Bob through Tor" 90 || fail "Ann and Bob did not connect through Tor"
  tor_at=$(now_ms)
  wait_for "$work/ann/out.log" "Bob stays connected through Tor: no direct path worked" 60 \
    || fail "Ann was not told that Bob stays on Tor"
  echo "through Tor after $((tor_at - start)) ms; told it stays there $(( $(now_ms) - tor_at)) ms later"
  wait_for "$work/ann/out.log" "finished offer.bin" 60 || fail "the download did not finish"
  kill -TERM "$ann_pid"
  ann_pid=
  arrived_whole
  grep -q "connected Bob directly" "$work/ann/out.log" && fail "connected directly through a random NAT"
  grep -q "No direct connection to Bob at 198.18.0.102:54322" "$work/ann/run.log" || fail "Ann did not try Bob's card address"
  echo "the whole download through Tor at $rate"
  ;;
natpmp)
  ann_opts="--exit-when-done --connect Bob"
  offer 100 --map-port
  wait_for "$work/ann/out.log" "connected Bob directly" 30 || fail "Ann did not reach Bob's card address"
  echo "directly at Bob's card address after $(( $(now_ms) - start)) ms"
  arrived_whole
  grep -q "through Tor" "$work/ann/out.log" && fail "Ann went through Tor"
  echo "the whole download at $rate"
  plain_copy 95
  ;;
stranger)
  tornet_home mallory 192.168.1.0/24 198.18.0.104 || fail "Mallory's home"
  brenvo mallory card --name Mallory --address 192.0.2.12 --port 54322 >/dev/null || fail "Mallory's card"
  brenvo mallory import "$work/ann.card" >/dev/null || fail "Mallory imports Ann's card"
  run ann
  wait_for "$work/ann/run.log" "Reachable through tor at" 60 || fail "Ann's service was not published"
  # Bob, one of Ann's people, gets through; Mallory does not.
  run bob --connect Ann --no-direct
  wait_for "$work/bob/out.log" "connected Ann through Tor" 90 || fail "Bob did not reach Ann"
  run mallory --connect Ann
  wait_for "$work/mallory/run.log" "tor could not reach" 90 || fail "Mallory's call did not end"
  online=$(grep -m1 "tor could not reach" "$work/mallory/run.log" | sed 's/.*: //')
  echo "Mallory while Ann runs: $online"
  grep -q "connected Ann" "$work/mallory/out.log" && fail "Mallory connected to Ann"
  grep -qi "mallory" "$work/ann/run.log" && fail "Ann's side saw Mallory"
  pkill -TERM -f "$work/ann/d" ; sleep 1
  pkill -KILL -f "$work/mallory/d"
  sleep 0.5
  : >"$work/mallory/run.log"
  run mallory --connect Ann
  wait_for "$work/mallory/run.log" "tor could not reach" 90 || fail "Mallory's second call did not end"
  offline=$(grep -m1 "tor could not reach" "$work/mallory/run.log" | sed 's/.*: //')
  echo "Mallory after Ann stopped: $offline"
  [ "$online" = "$offline" ] || fail "tor told Mallory apart: \"$online\" while Ann ran, \"$offline\" after"
  # Bob told Ann no endpoint, and called none of hers.
  grep -e "told through Tor" -e "Not calling" "$work/ann/run.log" "$work/bob/run.log" && fail "direct endpoints with --no-direct"
  ;;
hostile)
  # Bob, a contact of Ann's, connects through Tor with HOSTILEPEER and sends
  # hints of his own making (loopback, broadcast, 1,000 entries, Carol's
  # address, twice, then written otherwise): Ann takes eight of a message,
  # calls Carol's address once and nothing else, and stays connected to Bob
  # through Tor. Carol listens in a third home whose router forwards her
  # port and counts the calls that reach her; she knows Ann, Ann does not
  # know her.
  peer=${3:?the hostile case needs the hostilepeer program}
  tornet_home carol 192.168.1.0/24 198.18.0.103 || fail "Carol's home"
  tornet_in carol-gw nft -f - <<EOF || fail "Carol's port forwarding"
table ip tornet_nat {
  chain prerouting {
    type nat hook prerouting priority dstnat;
    iifname "wan0" tcp dport 54322 counter dnat to 192.168.1.2
  }
}
EOF
  mkdir -p "$work/carol/run" && chmod 700 "$work/carol/run"
  brenvo carol card --name Carol --address 198.18.0.103 --port 54322 >/dev/null || fail "Carol's card"
  brenvo carol import "$work/ann.card" >/dev/null || fail "Carol imports Ann's card"
  start=$(now_ms)
  brenvo carol run --no-upnp --no-tor --no-auto-connect --log "$work/carol/run.log" >"$work/carol/out.log" 2>&1 &
  run ann
  ann_pid=$!
  # Bob's own tor, with the key that opens Ann's service to him.
  tornet_tor bob "$work/bob/tor" || fail "Bob's tor"
  tornet_in bob "$TORNET_PYTHON" "$TORNET_TOOL" control "$work/bob/tor" "$("$peer" auth "$work/bob/d" "$work/ann.card" 2>/dev/null)" \
    | grep -q "^250 OK" || fail "Bob's tor did not take the key of Ann's service"
  wait_for "$work/ann/run.log" "Reachable through tor at" 60 || fail "Ann's service was not published"
  wait_for "$work/carol/out.log" "listening on port 54322" 10 || fail "Carol is not listening"
  echo "Ann reachable through Tor after $(since) s"
  # Eight taken of the first message, among them Carol's address; the same
  # again; then Carol's address written otherwise, and more that leads nowhere.
  first="127.0.0.1/54322 ::1/54322 255.255.255.255/54322 192.168.1.255/54322 0.0.0.0/54322 169.254.1.1/54322"
  first="$first 198.18.0.103/54322 fe80::1/54322 *992"
  third="::ffff:198.18.0.103/54322 ::FFFF:C612:67/54322 224.0.0.1/54322 192.168.1.2/54322 10.1.2.3/54322"
  third="$third ::ffff:127.0.0.1/54322 localhost/54322 198.18.0.103/54322"
  tornet_in bob env HOME="$work/bob" "$peer" hints "$work/bob/d" "$work/ann.card" "$work/bob/tor/socks" 8 \
    "$first" "$first" "$third" >"$work/bob/peer.log" 2>&1 || { cat "$work/bob/peer.log"; fail "Bob's connection did not last"; }
  cat "$work/bob/peer.log"
  echo "Bob connected, told, stayed and left after $(since) s"
  kill -0 "$ann_pid" 2>/dev/null || fail "Ann's run ended"
  log=$work/ann/run.log
  grep -q "Ignored 992 of the hints from" "$log" || fail "Ann did not take just eight of the thousand"
  for refused in "127.0.0.1:54322: loopback" "\[::1\]:54322: loopback" "255.255.255.255:54322: broadcast" \
      "192.168.1.255:54322: broadcast" "0.0.0.0:54322: unspecified" "169.254.1.1:54322: link-local" \
      "\[fe80::1\]:54322: link-local" "224.0.0.1:54322: multicast" "192.168.1.2:54322: this machine" \
      "10.1.2.3:54322: a private address of another network" "localhost:54322: not a numeric address"; do
    grep -q "Not calling Bob at $refused" "$log" || fail "no refusal of $refused"
  done
  calls=$(grep -c "Trying Bob directly at" "$log")
  grep -q "Trying Bob directly at 1 endpoints" "$log" && [ "$calls" = 1 ] || fail "Ann called more than Carol's address ($calls calls)"
  grep "No direct connection to Bob" "$log" | sed 's/^.*No direct/No direct/'
  [ "$(grep -c "No direct connection to Bob at" "$log")" = 1 ] || fail "Ann failed more than one call"
  grep -q "No direct connection to Bob at 198.18.0.103:54322" "$log" || fail "Ann did not call Carol's address"
  [ "$(grep -c "user not allowed" "$log")" = 1 ] || fail "Carol's identity was not what ended the call"
  grep -q "Bob stays connected through Tor: no direct path worked" "$log" || fail "Ann did not tell she stays on Tor"
  grep -qi "connected Bob directly\|Connected to Bob directly" "$work/ann/out.log" "$log" && fail "a direct connection to Bob"
  grep -q "connected Bob through Tor" "$work/ann/out.log" || fail "Ann was not connected to Bob through Tor"
  reached=$(tornet_in carol-gw nft list chain ip tornet_nat prerouting | sed -n 's/.*dport 54322 .*packets \([0-9]*\).*/\1/p')
  echo "calls that reached Carol: $reached"
  [ "$reached" = 1 ] || fail "$reached calls reached Carol"
  grep -q "connected Ann" "$work/carol/out.log" && fail "Carol took Ann's call"
  echo "done after $(since) s"
  ;;
*) fail "unknown case $case_name" ;;
esac
echo "PASS"
