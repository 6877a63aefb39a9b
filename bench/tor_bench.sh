#!/bin/sh
# Brenvo through a private Tor network (tests/tor/tornet.sh), beside a plain
# copy through the same kind of circuit, in one run:
#   time from start to reachable (our onion service published), to connected
#   and to the first byte; a 50 MB download through Tor; the same 50 MB sent
#   by a plain server through an onion service between the same two homes.
#   bench/tor_bench.sh BRENVO_CLI [MB]
# Needs root (network namespaces) and tor. Nothing leaves the machine.
set -u
cli=$1
mb=${2:-50}
here=$(cd "$(dirname "$0")" && pwd)
TORNET_DIR=$here/../tests/tor
. "$TORNET_DIR/tornet.sh"
why=$(tornet_check) || { echo "tor_bench: $why"; exit 77; }
py=$TORNET_PYTHON
tool=$TORNET_TOOL

work=$(mktemp -d /tmp/tb.XXXXXX)
trap 'tornet_down; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
fail() { echo "tor_bench: $*"; tail -n 20 "$work"/*/*.log 2>/dev/null; exit 1; }
now_ms() { date +%s%3N; }
secs() { echo "scale=1; ($2 - $1) / 1000" | bc; }

brenvo() {
  name=$1; shift
  tornet_in "$name" env HOME="$work/$name" XDG_DATA_HOME="$work/$name/share" XDG_RUNTIME_DIR="$work/$name/run" \
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent DBUS_SESSION_BUS_ADDRESS= \
    "$cli" --data-dir "$work/$name/d" --key-store file "$@"
}
wait_for() {
  file=$1; pattern=$2; seconds=$3; i=0
  until grep -q -- "$pattern" "$file" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt $((seconds * 20)) ] || return 1; sleep 0.05
  done
}

tornet_up "$work/lab" "tb$$" || fail "the Tor network did not come up"
tornet_home ann 192.168.1.0/24 198.18.0.101 || fail "Ann's home"
tornet_home bob 192.168.1.0/24 198.18.0.102 || fail "Bob's home"
for name in ann bob; do mkdir -p "$work/$name/run" "$work/$name/in" && chmod 700 "$work/$name/run"; done
brenvo ann card --name Ann --address 192.0.2.10 --port 54322 -o "$work/ann.card" >/dev/null || fail "card"
brenvo bob card --name Bob --address 192.0.2.11 --port 54322 -o "$work/bob.card" >/dev/null || fail "card"
brenvo ann import "$work/bob.card" >/dev/null && brenvo bob import "$work/ann.card" >/dev/null || fail "import"
head -c $((mb * 1000000)) /dev/urandom >"$work/offer.bin"
brenvo bob share --to Ann "$work/offer.bin" >/dev/null || fail "share"

start=$(now_ms)
brenvo bob run --no-upnp --tor-torrc "$work/lab/tornet.torrc" --log "$work/bob/run.log" >"$work/bob/out.log" 2>&1 &
brenvo ann run --no-upnp --tor-torrc "$work/lab/tornet.torrc" --log "$work/ann/run.log" --accept Bob \
  --download-to "$work/ann/in" --exit-when-done --timeout 300 >"$work/ann/out.log" 2>&1 &
ann=$!
wait_for "$work/bob/run.log" "Reachable through tor" 60 || fail "not published"
published=$(now_ms)
wait_for "$work/ann/out.log" "connected Bob through Tor" 120 || fail "not connected"
connected=$(now_ms)
until [ -n "$(find "$work/ann/in" -name 'offer.bin*' -size +0 2>/dev/null)" ]; do sleep 0.05; done
first=$(now_ms)
wait $ann || fail "the download did not end well"
done_at=$(now_ms)
cmp -s "$work/offer.bin" "$work/ann/in/offer.bin" || fail "the file differs"
pkill -f "$work/bob/d" 2>/dev/null
brenvo_rate=$(echo "scale=2; $mb * 1000 / ($done_at - $first)" | bc)
echo "brenvo: published $(secs "$start" "$published") s after start, connected after $(secs "$start" "$connected") s," \
  "first byte after $(secs "$start" "$first") s; $mb MB in $(secs "$first" "$done_at") s: $brenvo_rate MB/s"

# The plain copy: a server in Bob's home behind an onion service with client
# authorization, read through Ann's tor.
tornet_tor ann "$work/pann" || fail "Ann's plain tor"
tornet_tor bob "$work/pbob" || fail "Bob's plain tor"
tornet_in bob "$py" "$tool" serve 127.0.0.1 8080 >"$work/bob/serve.log" 2>&1 &
keys=$("$py" "$tool" keygen) || fail "keygen"
published=$(tornet_in bob "$py" "$tool" publish "$work/pbob" 8080 "${keys% *}" 60) || fail "plain service"
address=${published% *}
tornet_in ann "$py" "$tool" control "$work/pann" "ONION_CLIENT_AUTH_ADD $address x25519:${keys#* }" >/dev/null || fail "key"
n=0
until tornet_in ann "$py" "$tool" socks "$work/pann/socks" "$address.onion" 80 echo >/dev/null 2>&1; do
  n=$((n + 1)); [ $n -lt 10 ] || fail "plain service unreachable"; sleep 1
done
plain=$(tornet_in ann "$py" "$tool" socks "$work/pann/socks" "$address.onion" 80 recv $((mb * 1000000)) 120) \
  || fail "plain copy: $plain"
echo "plain copy through an onion circuit: $plain"
