#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
#   scripts/test.sh              plain build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/
#   scripts/test.sh --plain-only plain build, only the tests the sanitized run
#                                leaves out (the .deb, the installed headers)
# With CI=true (or --werror) warnings are errors in the plain build.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=0
werror=0
plain_only=0
[ "${CI:-}" = "true" ] && werror=1
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    --werror) werror=1 ;;
    --plain-only) plain_only=1 ;;
    *) echo "usage: $0 [--sanitize | --plain-only] [--werror]" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh

plain_only_tests='^(packaging_deb|api_public_headers_test|api_front_ends_(app[0-9]|cli)_test)$'
if [ "$sanitize" = 1 ]; then
  dir=build-asan
  # g++ 12 warns falsely under the sanitizers, so no -Werror here.
  flags=(-DCMAKE_BUILD_TYPE=Debug -DBRENVO_SANITIZE=ON -DBRENVO_WERROR=OFF -DBRENVO_BUILD_BENCH=OFF)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  # The .deb and the installed headers are checked on the plain build:
  # packing the sanitized binaries (some 25 s of compression) or compiling
  # the front ends against the headers once more (minutes, syntax only)
  # would check nothing more.
  ctest_args=(-E "$plain_only_tests")
else
  dir=build
  ctest_args=()
  [ "$plain_only" = 1 ] && ctest_args=(-R "$plain_only_tests")
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DBRENVO_WERROR=$([ "$werror" = 1 ] && echo ON || echo OFF)")
fi

# Through ccache when there is one, with the checkout as base, so that another
# checkout of the same sources (a CI clone) hits the same entries.
if [ -z "${BRENVO_NO_CCACHE:-}" ] && command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD"
fi

cmake -S . -B "$dir" -G Ninja "${flags[@]}"
cmake --build "$dir" -j "$(nproc)"
cd "$dir"
ctest --output-on-failure -j "$(nproc)" "${ctest_args[@]}"
