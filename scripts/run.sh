#!/usr/bin/env bash
# Installs what is needed, builds Brenvo and starts it. Without a display it
# runs the command-line front end's demonstration instead: two peers on
# 127.0.0.1 exchange a file.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/app/brenvo ]; then
  exec build/app/brenvo "$@"
elif [ -x build/cli/brenvo-cli ]; then
  exec build/cli/brenvo-cli demo "$@"
else
  exec build/bench/vortan_demo "$@"
fi
