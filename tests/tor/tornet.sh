# shellcheck shell=sh disable=SC3043
# (local: dash, bash and busybox sh have it.)
#
# A private Tor network in network namespaces, with homes behind NAT, for
# tests: nothing in it can reach beyond this machine, and no tor it starts
# knows of the public Tor network. Needs root, ip, nft, tor, tor-gencert and
# /usr/bin/python3 (tornet_check says what is missing: skip with 77).
#
#   TORNET_DIR=$srcdir/tests/tor         # this file and tornet-tool.py; by
#   . "$TORNET_DIR/tornet.sh"             # default the sourcing script's dir
#   why=$(tornet_check) || { echo "SKIPPED: $why"; exit 77; }
#   work=$(mktemp -d /tmp/mytest.XXXXXX)  # short: tor's Unix sockets go below
#   trap 'tornet_down; rm -rf "$work"' EXIT
#   tornet_up "$work" "mt$$" || fail "no Tor network"
#   tornet_home ann 192.168.1.0/24 198.18.0.101
#   tornet_home bob 192.168.1.0/24 198.18.0.102
#   tornet_in ann brenvo-cli ... --tor-torrc "$work/tornet.torrc" ... &
#   tornet_change_wan bob 198.18.0.103     # Bob's line gets a new address
#
# The network (PREFIX is tornet_up's second argument, unique per run; keep it
# short, as namespace names derive from it):
#   PREFIX-net    "the internet": bridge br0 on 198.18.0.0/24. The relays run
#                 in this namespace, each on its own address: auth1..auth3 at
#                 198.18.0.11-13 (directory authorities that are also relays,
#                 exits and HSDirs; ORPort 5000, DirPort 7000), relay1 and
#                 relay2 at 198.18.0.14-15 (ORPort 5000, not exits). The
#                 exits' policy is "accept *:*" (see tornet_up), but nothing
#                 leaves this namespace for anywhere beyond 198.18.0.0/24.
#                 Use 198.18.0.16-254 for homes' WAN addresses and hosts.
#   PREFIX-NAME-gw  after tornet_home NAME LAN_SUBNET WAN_ADDRESS: the home's
#                 router, wan0 = WAN_ADDRESS/24 on the bridge, lan0 = .1 of
#                 LAN_SUBNET (a /24, e.g. 192.168.1.0/24; homes may share
#                 one). nftables masquerades on wan0, forwards LAN->WAN and
#                 established/related back only, and drops new connections
#                 from wan0 to the router itself. No port forwarding, no UPnP
#                 or NAT-PMP: nobody outside can open a connection home.
#   PREFIX-NAME   the home's host, lan0 = .2 of LAN_SUBNET, default route
#                 via the router.
#
# WORKDIR/tornet.torrc: the lines every tor of the test must have (the three
# DirAuthority lines, TestingTorNetwork 1 and the testing options). A tor
# without them would join the public Tor network: add them to any torrc, or
# hand the file to a program that adds torrc lines (brenvo's --tor-torrc).
# WORKDIR/tornet/NAME/: each relay's DataDirectory (0700), with notice.log;
# a tor started by tornet_tor logs to DIR/notice.log.
#
# Functions:
#   tornet_check                  0 if the lab can run here, else prints why
#   tornet_up WORKDIR PREFIX      builds the internet and starts the relays;
#                                 returns 0 once every relay holds a consensus
#                                 listing all five as running guards and
#                                 HSDirs, and their microdescriptors (about
#                                 10 s on an idle machine, 20-35 s on a loaded
#                                 one; gives up after 90 s)
#   tornet_home NAME LAN_SUBNET WAN_ADDRESS   a home behind NAT (see above)
#   tornet_change_wan NAME NEW_ADDRESS  renumbers home NAME's router on the
#                                 internet: the kernel drops its NAT mappings,
#                                 connections through it break (a peer gets
#                                 a reset on its next packet) and new ones
#                                 come from NEW_ADDRESS
#   tornet_in NAME CMD...         runs CMD in namespace PREFIX-NAME: a home's
#                                 host (NAME), its router (NAME-gw) or the
#                                 relays' namespace (net)
#   tornet_tor NAME DIR [LINE...] starts a client tor in PREFIX-NAME with
#                                 DataDirectory DIR (0700), ControlPort
#                                 unix:DIR/control, cookie authentication
#                                 (DIR/control_auth_cookie), SocksPort
#                                 unix:DIR/socks with ExtendedErrors, the
#                                 network's lines and each extra LINE; returns
#                                 once the control socket is there (30 s).
#                                 A client sits at 95 % until it is used.
#   tornet_logs                   prints the end of every tor's log (fail())
#   tornet_down                   stops every process in the lab's namespaces
#                                 (TERM, then KILL after 3 s) and deletes
#                                 them; idempotent, for an EXIT trap
# Every tor started here has __OwningControllerProcess set to the sourcing
# shell, so it exits with it even if tornet_down never runs. With
# TORNET_INFO_LOG set, each tor also logs at level info to DataDirectory/info.log.
# tornet-tool.py has small clients to use with the lab ("$TORNET_PYTHON"
# "$TORNET_TOOL" COMMAND ...): an x25519 key pair for onion client
# authorization, control-port commands, publishing an onion service, an
# echo/bulk server, SOCKS5 over a Unix socket; see its docstring and
# bench/tor_bench.sh.

TORNET_PYTHON=${TORNET_PYTHON:-/usr/bin/python3}
TORNET_TOOL=${TORNET_DIR:-$(cd "$(dirname "$0")" && pwd)}/tornet-tool.py
# A range set aside for benchmarks, which nobody routes: unlike a private
# range, the program takes its addresses for public ones, as a home's WAN
# address is.
TORNET_SUBNET=198.18.0.0/24
TORNET_NET=198.18.0
TORNET_PREFIX=
TORNET_WORK=
# The Unix-domain sockets of the tors live in their data directories: keep
# WORKDIR short (a socket path has at most 107 bytes).

tornet_check() {
  if [ "$(id -u)" != 0 ]; then echo "tornet: needs root for network namespaces"; return 1; fi
  for tool in ip nft tor tor-gencert "$TORNET_PYTHON"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "tornet: no $tool"; return 1; }
  done
  [ -f "$TORNET_TOOL" ] || { echo "tornet: no $TORNET_TOOL (set TORNET_DIR to the directory of tornet.sh)"; return 1; }
  ip netns add "tornet-probe-$$" 2>/dev/null || { echo "tornet: cannot create network namespaces"; return 1; }
  ip netns del "tornet-probe-$$"
}

# tornet_tor_start NS DIR: starts tor -f DIR/torrc in namespace NS.
tornet_tor_start() {
  # ip netns exec execs tor in place: $! is tor.
  ip netns exec "$1" tor -f "$2/torrc" >"$2/stdout.log" 2>&1 &
  echo $! >"$2/tor.pid"
}

# Options every tor of the network shares (written to tornet.torrc).
tornet_common_lines() {
  cat <<EOF
TestingTorNetwork 1
AssumeReachable 1
PathsNeededToBuildCircuits 0.25
TestingDirAuthVoteExit *
TestingDirAuthVoteHSDir *
TestingDirAuthVoteGuard *
TestingMinExitFlagThreshold 0
UseDefaultFallbackDirs 0
EOF
  cat "$TORNET_WORK/tornet/dirauthorities"
}

# tornet_relay_torrc NAME ADDRESS ROLE (authority|relay)
tornet_relay_torrc() {
  local d="$TORNET_WORK/tornet/$1"
  {
    cat <<EOF
DataDirectory $d
PidFile $d/pid
Log notice file $d/notice.log
${TORNET_INFO_LOG:+Log info file $d/info.log
}Nickname $1
Address $2
ORPort $2:5000
OutboundBindAddress $2
SocksPort 0
ControlPort unix:$d/control
CookieAuthentication 1
__OwningControllerProcess $$
ShutdownWaitLength 0
ContactInfo $1@tornet.invalid
EOF
    if [ "$3" = authority ]; then
      cat <<EOF
DirPort $2:7000
AuthoritativeDirectory 1
V3AuthoritativeDirectory 1
V3AuthVotingInterval 10
V3AuthVoteDelay 2
V3AuthDistDelay 2
TestingV3AuthInitialVotingInterval 5
TestingV3AuthInitialVoteDelay 2
TestingV3AuthInitialDistDelay 2
ExitRelay 1
ExitPolicyRejectPrivate 0
ExitPolicy accept *:*
EOF
    else
      cat <<EOF
ExitRelay 0
ExitPolicy reject *:*
EOF
    fi
    tornet_common_lines
  } >"$d/torrc"
}

# The relays: auth1..auth3 (n = 1..3), relay1 and relay2 (n = 4, 5).
tornet_relay_name() {
  if [ "$1" -le 3 ]; then echo "auth$1"; else echo "relay$(($1 - 3))"; fi
}

tornet_up() {
  TORNET_WORK=$1; TORNET_PREFIX=$2
  local net="$TORNET_PREFIX-net" t="$TORNET_WORK/tornet" n name role d v3 fp pid pids
  mkdir -p "$t" && chmod 700 "$t" || return 1
  : >"$t/namespaces"
  ip netns add "$net" || return 1
  echo "$net" >>"$t/namespaces"
  ip -n "$net" link set lo up
  ip -n "$net" link add br0 type bridge && ip -n "$net" link set br0 up || return 1
  # The exits' policy is "accept *:*": a policy for the lab's subnet alone is
  # summarised in microdescriptors as "reject 1-65535", and clients would
  # never choose an exit. The namespace has no route beyond the subnet, and
  # this drops anything else the relays might send.
  ip netns exec "$net" nft -f - <<EOF || return 1
table inet tornet_exit {
  chain output {
    type filter hook output priority filter;
    meta nfproto ipv6 drop
    ip daddr != $TORNET_SUBNET ip daddr != 127.0.0.0/8 drop
  }
}
EOF
  # Keys: each relay's identity (DataDirectory/keys, its fingerprint in
  # DataDirectory/fingerprint), made without a torrc, so nothing is
  # contacted; and the authorities' v3 keys. In parallel: RSA takes a while.
  pids=
  for n in 1 2 3 4 5; do
    name=$(tornet_relay_name $n); d="$t/$name"
    mkdir -p "$d/keys" && chmod 700 "$d" "$d/keys" || return 1
    ip -n "$net" addr add "$TORNET_NET.1$n/24" dev br0 || return 1
    (
      tor --ignore-missing-torrc -f "$d/none" --list-fingerprint --DataDirectory "$d" \
        --ORPort 1 --Nickname "$name" --quiet >/dev/null || exit 1
      [ $n -le 3 ] || exit 0
      cd "$d/keys" && echo tornet | tor-gencert --create-identity-key -m 12 \
        -a "$TORNET_NET.1$n:7000" --passphrase-fd 0
    ) >"$d/keys.log" 2>&1 &
    pids="$pids $!"
  done
  for pid in $pids; do wait "$pid" || return 1; done
  : >"$t/dirauthorities"
  for n in 1 2 3; do
    d="$t/auth$n"
    v3=$(sed -n 's/^fingerprint //p' "$d/keys/authority_certificate")
    fp=$(cut -d' ' -f2 "$d/fingerprint")
    echo "DirAuthority auth$n orport=5000 no-v2 v3ident=$v3 $TORNET_NET.1$n:7000 $fp" >>"$t/dirauthorities"
  done
  tornet_common_lines >"$TORNET_WORK/tornet.torrc"
  for n in 1 2 3 4 5; do
    name=$(tornet_relay_name $n)
    role=relay; [ $n -gt 3 ] || role=authority
    tornet_relay_torrc "$name" "$TORNET_NET.1$n" "$role"
    tornet_tor_start "$net" "$t/$name"
  done
  # Ready when every relay holds a consensus that lists all five and the
  # microdescriptors of all five: a client may fetch them from any of them.
  "$TORNET_PYTHON" "$TORNET_TOOL" ready 90 5 "$t"/auth? "$t"/relay? || {
    echo "tornet: the network is not ready after 90 s"; return 1; }
}

# tornet_veth NS_A NAME_A NS_B NAME_B: a veth pair between two namespaces.
tornet_veth() {
  ip -n "$1" link add "$2" type veth peer name "$4" netns "$3" &&
    ip -n "$1" link set "$2" up && ip -n "$3" link set "$4" up
}

# tornet_to_bridge NS IFNAME: a veth from NS (named IFNAME there) to br0.
tornet_to_bridge() {
  local port
  port="p$(wc -l <"$TORNET_WORK/tornet/namespaces" | tr -d ' ')"
  tornet_veth "$1" "$2" "$TORNET_PREFIX-net" "$port" &&
    ip -n "$TORNET_PREFIX-net" link set "$port" master br0
}

tornet_newns() {
  ip netns add "$1" || return 1
  echo "$1" >>"$TORNET_WORK/tornet/namespaces"
  ip -n "$1" link set lo up
}

# tornet_home NAME LAN WAN [NAT]: a home router (NAME-gw) with WAN on the
# lab's internet and one machine (NAME) at LAN's .2. The router masquerades
# with NAT's flags ("random,fully-random": a new source port for every
# destination; by default ports are kept where they are free), forwards no
# new connection from outside unless a port forwarding rewrote it, and takes
# no new one itself. The forward rules cover IPv6 too (tornet_home6).
tornet_home() {
  local name="$1" lan="${2%.*}" wan="$3" nat="${4:-}" gw="$TORNET_PREFIX-$1-gw" host="$TORNET_PREFIX-$1"
  tornet_newns "$gw" && tornet_newns "$host" || return 1
  tornet_to_bridge "$gw" wan0 || return 1
  ip -n "$gw" addr add "$wan/24" dev wan0 || return 1
  tornet_veth "$gw" lan0 "$host" lan0 || return 1
  ip -n "$gw" addr add "$lan.1/24" dev lan0 && ip -n "$host" addr add "$lan.2/24" dev lan0 || return 1
  ip -n "$host" route add default via "$lan.1" || return 1
  ip netns exec "$gw" sysctl -qw net.ipv4.ip_forward=1 || return 1
  ip netns exec "$gw" nft -f - <<EOF || return 1
table ip tornet_nat {
  chain postrouting {
    type nat hook postrouting priority srcnat;
    oifname "wan0" masquerade $nat
  }
}
table inet tornet_filter {
  chain forward {
    type filter hook forward priority filter; policy drop;
    ct state established,related accept
    ct status dnat accept
    iifname "lan0" oifname "wan0" accept
  }
  chain input {
    type filter hook input priority filter;
    iifname "wan0" ct state new drop
  }
}
EOF
}

# tornet_home6 NAME N: global IPv6 for a home made by tornet_home, without
# NAT: the router at 2001:db8::N on the internet, the machine at
# 2001:db8:N::2, routes to and from the other homes given IPv6 so far. The
# router's stateful rules drop new connections from outside.
tornet_home6() {
  local gw="$TORNET_PREFIX-$1-gw" host="$TORNET_PREFIX-$1" n="$2" other m
  ip -n "$gw" addr add "2001:db8::$n/64" dev wan0 nodad &&
    ip -n "$gw" addr add "2001:db8:$n::1/64" dev lan0 nodad &&
    ip -n "$host" addr add "2001:db8:$n::2/64" dev lan0 nodad &&
    ip -n "$host" -6 route add default via "2001:db8:$n::1" &&
    ip netns exec "$gw" sysctl -qw net.ipv6.conf.all.forwarding=1 || return 1
  touch "$TORNET_WORK/tornet/homes6"
  while read -r other m; do
    ip -n "$other" -6 route add "2001:db8:$n::/64" via "2001:db8::$n" &&
      ip -n "$gw" -6 route add "2001:db8:$m::/64" via "2001:db8::$m" || return 1
  done <"$TORNET_WORK/tornet/homes6"
  echo "$gw $n" >>"$TORNET_WORK/tornet/homes6"
}

# tornet_natpmp NAME PUBLIC: the home's router answers NAT-PMP (and not
# UPnP) for its machine, its line also at PUBLIC, which the other routers
# reach on the shared link: miniupnpd refuses a reserved external address
# like the lab's (and the namespaces lead nowhere).
tornet_natpmp() {
  local gw="$TORNET_PREFIX-$1-gw" d="$TORNET_WORK/tornet/$1-natpmp" other
  mkdir -p "$d" && ip -n "$gw" addr add "$2/32" dev wan0 || return 1
  for other in $(ip netns list | awk '{print $1}' | grep -e "^$TORNET_PREFIX-.*-gw\$"); do
    [ "$other" = "$gw" ] || ip -n "$other" route add "$2/32" dev wan0 || return 1
  done
  ip netns exec "$gw" nft -f - <<EOF || return 1
table inet tornet_upnp {
  chain forward_miniupnpd {}
  chain prerouting_miniupnpd {}
  chain postrouting_miniupnpd {}
  chain forward { type filter hook forward priority 0; policy accept; jump forward_miniupnpd; }
  chain prerouting { type nat hook prerouting priority -100; policy accept; jump prerouting_miniupnpd; }
  chain postrouting { type nat hook postrouting priority 100; policy accept; jump postrouting_miniupnpd; }
}
EOF
  cat >"$d/miniupnpd.conf" <<EOF
ext_ifname=wan0
ext_ip=$2
listening_ip=lan0
enable_upnp=no
enable_natpmp=yes
secure_mode=yes
system_uptime=no
upnp_table_name=tornet_upnp
upnp_nat_table_name=tornet_upnp
upnp_forward_chain=forward_miniupnpd
upnp_nat_chain=prerouting_miniupnpd
upnp_nat_postrouting_chain=postrouting_miniupnpd
allow 1024-65535 0.0.0.0/0 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
EOF
  ip netns exec "$gw" miniupnpd -d -f "$d/miniupnpd.conf" -P "$d/miniupnpd.pid" >"$d/miniupnpd.log" 2>&1 &
}

# A new WAN address: the kernel forgets the masquerading entries of the old
# one, so every connection through the router breaks, as when a home line is
# given a new address.
tornet_change_wan() {
  local gw="$TORNET_PREFIX-$1-gw"
  ip -n "$gw" addr flush dev wan0 && ip -n "$gw" addr add "$2/24" dev wan0
}

tornet_in() {
  local ns="$TORNET_PREFIX-$1"; shift
  ip netns exec "$ns" "$@"
}

tornet_tor() {
  local name="$1" d="$2" n line; shift 2
  mkdir -p "$d" && chmod 700 "$d" || return 1
  {
    cat <<EOF
DataDirectory $d
Log notice file $d/notice.log
${TORNET_INFO_LOG:+Log info file $d/info.log
}ControlPort unix:$d/control
CookieAuthentication 1
SocksPort unix:$d/socks ExtendedErrors
__OwningControllerProcess $$
ShutdownWaitLength 0
EOF
    cat "$TORNET_WORK/tornet.torrc"
    for line in "$@"; do echo "$line"; done
  } >"$d/torrc"
  echo "$d" >>"$TORNET_WORK/tornet/clients"
  tornet_tor_start "$TORNET_PREFIX-$name" "$d"
  n=0
  until [ -S "$d/control" ] && [ -s "$d/control_auth_cookie" ]; do
    n=$((n + 1))
    if [ $n -ge 300 ] || ! kill -0 "$(cat "$d/tor.pid")" 2>/dev/null; then
      echo "tornet: tor in $name did not open its control socket"; return 1
    fi
    sleep 0.1
  done
}

tornet_logs() {
  local f
  [ -n "$TORNET_WORK" ] || return 0
  for f in "$TORNET_WORK"/tornet/*/notice.log $(sed 's|$|/notice.log|' "$TORNET_WORK/tornet/clients" 2>/dev/null); do
    [ -f "$f" ] && { echo "== $f"; tail -n 25 "$f"; }
  done
}

tornet_down() {
  local ns pid i
  [ -n "$TORNET_PREFIX" ] || return 0
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -e "^$TORNET_PREFIX-"); do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -TERM "$pid" 2>/dev/null; done
  done
  # Up to 3 s in all for everything to exit (tor with ShutdownWaitLength 0
  # exits at once).
  i=0
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -e "^$TORNET_PREFIX-"); do
    while [ -n "$(ip netns pids "$ns" 2>/dev/null)" ] && [ $i -lt 30 ]; do i=$((i + 1)); sleep 0.1; done
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    ip netns del "$ns" 2>/dev/null
  done
  return 0
}
