#!/bin/sh
# The private Tor network lab (tornet.sh) with plain tor clients: Ann, at
# home behind NAT, publishes an onion service that only Bob's client key
# opens; Bob, behind another NAT, exchanges bytes with it and downloads 10 MB
# through it; a stranger's tor without the key is refused. Also a 10 MB copy
# from a host on the lab's internet through an exit, for comparison, and the
# NAT's behaviour (outgoing works and is masqueraded, incoming is dropped).
# Prints the times taken. Exits 77 (skipped) without root, namespaces, tor.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=tornet.sh
. "$here/tornet.sh"
tool="$here/tornet-tool.py"
py=$TORNET_PYTHON

skip() { echo "SKIPPED: $*"; exit 77; }
why=$(tornet_check) || skip "$why"

# Short: the tors' Unix sockets live below it.
work=$(mktemp -d /tmp/tornet.XXXXXX)
# shellcheck disable=SC2317 # called by the trap
cleanup() {
  tornet_down
  [ -n "${keep:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*"
  tornet_logs
  for f in "$work"/*.log; do [ -f "$f" ] && { echo "== $f"; tail -n 20 "$f"; }; done
  exit 1
}

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

# socks_try NAME DIR HOST PORT MODE [N]: the tool's socks client in NAME's
# namespace through DIR's SOCKS socket; output in $work/socks.log.
socks_try() {
  tornet_in "$1" "$py" "$tool" socks "$2/socks" "$3" "$4" "$5" "${6:-0}" 60 >"$work/socks.log" 2>&1
}

start=$(now)
tornet_up "$work" "tn$$" || fail "the network does not come up"
up=$(now)
echo "network up: $(since "$start" "$up") s (5 relays in the consensus)"

tornet_home ann 192.168.1.0/24 10.77.0.101 || fail "Ann's home"
tornet_home bob 192.168.1.0/24 10.77.0.102 || fail "Bob's home"
tornet_host pub 10.77.0.200 || fail "the host on the internet"

# Servers: Ann's service behind her onion address, and one on the internet.
tornet_in ann "$py" "$tool" serve 127.0.0.1 8080 >"$work/ann-serve.log" 2>&1 &
tornet_in pub "$py" "$tool" serve 10.77.0.200 9000 >"$work/pub-serve.log" 2>&1 &
tornet_in ann-gw "$py" "$tool" serve 10.77.0.101 9000 >"$work/gw-serve.log" 2>&1 &
tornet_in ann "$py" "$tool" serve 192.168.1.2 9000 >"$work/lan-serve.log" 2>&1 &

# The clients' tors start while the NAT is checked.
tornet_tor ann "$work/ann" || fail "Ann's tor"
tornet_tor bob "$work/bob" || fail "Bob's tor"
tornet_tor pub "$work/eve" || fail "the stranger's tor"

# NAT: from Ann's host out to the internet works and comes from the router's
# WAN address; new connections from the internet to Ann's router, or through
# it to her host, do not.
seen=$(tornet_in ann "$py" "$tool" peer 10.77.0.200 9000 5) || fail "Ann's host cannot reach the internet"
[ "$seen" = 10.77.0.101 ] || fail "Ann's connection comes from $seen, not her router's WAN address"
seen=$(tornet_in pub "$py" "$tool" peer 10.77.0.101 9000 2)
[ "$seen" = timeout ] || fail "a new connection from the internet to Ann's router: $seen"
ip -n "$TORNET_PREFIX-pub" route add 192.168.1.0/24 via 10.77.0.101 || fail "route"
seen=$(tornet_in pub "$py" "$tool" peer 192.168.1.2 9000 2)
[ "$seen" = timeout ] || fail "a new connection from the internet through Ann's router: $seen"
ip -n "$TORNET_PREFIX-pub" route del 192.168.1.0/24
# A new WAN address breaks the connections through the router.
tornet_in ann "$py" "$tool" hold 10.77.0.200 9000 "$work/renumbered" 10 >"$work/hold.log" 2>&1 &
hold=$!
n=0
until grep -q connected "$work/hold.log"; do
  kill -0 $hold 2>/dev/null || fail "no connection from Ann's host: $(cat "$work/hold.log")"
  n=$((n + 1)); [ $n -lt 100 ] || fail "no connection from Ann's host"; sleep 0.1
done
tornet_change_wan ann 10.77.0.111 || fail "Ann's router renumbered"
touch "$work/renumbered"
wait $hold || fail "a connection survived the new WAN address: $(cat "$work/hold.log")"
seen=$(tornet_in ann "$py" "$tool" peer 10.77.0.200 9000 5) || fail "Ann's host cannot reach the internet after renumbering"
[ "$seen" = 10.77.0.111 ] || fail "after renumbering Ann's connection comes from $seen"

# The only key that opens Ann's service is Bob's.
keys=$("$py" "$tool" keygen) || fail "no x25519 key pair"
public=${keys% *}
private=${keys#* }

asked=$(now)
published=$(tornet_in ann "$py" "$tool" publish "$work/ann" 8080 "$public" 60 2>"$work/publish.log") \
  || fail "Ann's service not published"
address=${published% *}
published_at=${published#* }
echo "onion service published: $(since "$asked" "$published_at") s from ADD_ONION to its first descriptor upload," \
  "$(since "$up" "$published_at") s after the network was up"
tornet_in bob "$py" "$tool" control "$work/bob" "ONION_CLIENT_AUTH_ADD $address x25519:$private" >/dev/null \
  || fail "Bob's client key"

# A descriptor just uploaded may not yet be on the directory Bob asks: a few
# tries, bounded.
n=0
until socks_try bob "$work/bob" "$address.onion" 80 echo; do
  cat "$work/socks.log"
  n=$((n + 1)); [ $n -lt 5 ] || fail "Bob cannot reach Ann's service"
  sleep 1
done
connected_at=$(cut -d' ' -f2 "$work/socks.log")
echo "service published -> Bob's first exchange: $(since "$published_at" "$connected_at") s" \
  "($(cat "$work/socks.log"))"

socks_try bob "$work/bob" "$address.onion" 80 recv 10000000 || { cat "$work/socks.log"; fail "10 MB through the onion"; }
echo "onion service -> Bob, 10 MB: $(cat "$work/socks.log")"

# The stranger's tor finds the descriptor but cannot read it (0xf4, missing
# client authorization; 0xf0, descriptor not found, is tried again).
n=0
while :; do
  socks_try pub "$work/eve" "$address.onion" 80 echo
  code=$?
  echo "stranger: $(cat "$work/socks.log")"
  [ $code = 2 ] || fail "the stranger was not refused by SOCKS"
  grep -q "socks-error 0xf0" "$work/socks.log" || break
  n=$((n + 1)); [ $n -lt 5 ] || fail "the stranger does not find the descriptor"
  sleep 1
done
grep -q "socks-error 0xf4" "$work/socks.log" || fail "the stranger's refusal is not \"missing client authorization\""

# For comparison: a plain copy from a host on the internet through an exit.
socks_try bob "$work/bob" 10.77.0.200 9000 recv 10000000 || { cat "$work/socks.log"; fail "10 MB through an exit"; }
echo "internet host -> Bob through an exit, 10 MB: $(cat "$work/socks.log")"

# No tor of the lab may know of the public network.
for f in "$work"/tornet/*/torrc "$work"/*/torrc; do
  [ "$(grep -c '^DirAuthority .* 10\.77\.0\.1[123]:7000 ' "$f")" = 3 ] || fail "$f lacks the private DirAuthority lines"
  grep -q '^TestingTorNetwork 1$' "$f" || fail "$f lacks TestingTorNetwork"
done
echo "total: $(since "$start" "$(now)") s"
exit 0
