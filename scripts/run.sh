#!/usr/bin/env bash
# Installs what is needed, builds Brenvo and starts it. Without a display it
# runs the command-line front end's demonstration instead: two peers on
# 127.0.0.1 exchange a file.
#   scripts/run.sh [--demo] [ARGS...]
# --demo with a display: the program opens beside a demo peer on 127.0.0.1,
# everything in a temporary folder (scripts/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

demo=false
if [ "${1:-}" = --demo ]; then
  demo=true
  shift
fi

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/app/brenvo ]; then
  if $demo; then
    exec bash scripts/demo.sh build
  fi
  exec build/app/brenvo "$@"
elif [ -x build/cli/brenvo-cli ]; then
  exec build/cli/brenvo-cli demo "$@"
else
  exec build/bench/vortan_demo "$@"
fi
