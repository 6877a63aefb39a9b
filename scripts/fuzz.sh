#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 and runs each of them.
#   scripts/fuzz.sh --smoke        about 30 seconds per target (CI)
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

CC=clang-14 CXX=clang++-14 cmake -S fuzz -B fuzz/build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build fuzz/build -j "$(nproc)"

status=0
for target in $(find fuzz/build -maxdepth 1 -type f -executable -name 'fuzz_*' | sort); do
  name=$(basename "$target")
  corpus=fuzz/corpus-$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "-- $name for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 "$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
      -print_final_stats=1 "$corpus" "${seeds[@]}" 2>"fuzz/build/$name.log"; then
    echo "$name FAILED:"; tail -n 60 "fuzz/build/$name.log"; status=1
  else
    grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "fuzz/build/$name.log" | tail -n 2
  fi
done
exit $status
