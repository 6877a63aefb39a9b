#!/usr/bin/env bash
# The project's packages plus the tools the transfer benchmark compares
# against: iperf3 (raw loopback TCP) and an OpenSSH server and client (scp).
set -euo pipefail
exec bash "$(dirname "$0")/install-deps.sh" iperf3 openssh-server openssh-client
