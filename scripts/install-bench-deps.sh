#!/usr/bin/env bash
# The tools the transfer benchmark compares against: iperf3 (raw loopback
# TCP) and an OpenSSH server and client (scp). Not needed to build or test.
# Services are installed without being started.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
policy=/usr/sbin/policy-rc.d
created_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod 755 "$policy"
  created_policy=1
fi
cleanup() { if [ "$created_policy" = 1 ]; then $SUDO rm -f "$policy"; fi; }
trap cleanup EXIT
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends iperf3 openssh-server openssh-client
