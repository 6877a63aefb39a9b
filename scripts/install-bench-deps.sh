#!/usr/bin/env bash
# The project's packages plus the tools the transfer benchmarks compare
# against: iperf3 (raw loopback TCP), an OpenSSH server and client (scp, and
# ssh for tar | ssh) and tar.
set -euo pipefail
exec bash "$(dirname "$0")/install-deps.sh" iperf3 openssh-server openssh-client tar
