#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 and runs each of them.
#   scripts/fuzz.sh --smoke        about 30 seconds per target (CI), one per core at a time
#   scripts/fuzz.sh SECONDS        that long per target
# Corpora live in fuzz/corpus-<target>/ (not committed); seeds in fuzz/seeds/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=30
case "${1:-}" in
  --smoke|"") seconds=30 ;;
  *[!0-9]*) echo "usage: $0 [--smoke|SECONDS]" >&2; exit 2 ;;
  *) seconds=$1 ;;
esac

# Through ccache when there is one (with the checkout as base, so that another
# checkout of the same sources hits the same entries).
launcher=()
if [ -z "${BRENVO_NO_CCACHE:-}" ] && command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD"
fi
CC=clang-14 CXX=clang++-14 cmake -S fuzz -B fuzz/build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build fuzz/build -j "$(nproc)"

# One target per core at a time: each still runs for the full time on a core
# of its own. Reports are printed in the targets' order once all have ended.
fuzz_one() {
  local target=$1 name corpus seeds=()
  name=$(basename "$target")
  corpus=fuzz/corpus-$name
  mkdir -p "$corpus"
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  local rc=0
  ASAN_OPTIONS=detect_leaks=1 "$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
    -print_final_stats=1 "$corpus" "${seeds[@]}" 2>"fuzz/build/$name.log" || rc=$?
  echo "$rc" >"fuzz/build/$name.status"
}

targets=$(find fuzz/build -maxdepth 1 -type f -executable -name 'fuzz_*' | sort)
running=0
for target in $targets; do
  if [ "$running" -ge "$(nproc)" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "-- $(basename "$target") for ${seconds}s"
  rm -f "fuzz/build/$(basename "$target").status"
  fuzz_one "$target" &
  running=$((running + 1))
done
wait || true

status=0
for target in $targets; do
  name=$(basename "$target")
  if [ "$(cat "fuzz/build/$name.status" 2>/dev/null)" != 0 ]; then
    echo "$name FAILED:"; tail -n 60 "fuzz/build/$name.log"; status=1
  else
    echo "$name:"; grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "fuzz/build/$name.log" | tail -n 2
  fi
done
exit $status
