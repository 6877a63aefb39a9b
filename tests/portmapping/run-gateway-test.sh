#!/bin/sh
# Runs the gateway test program, then removes whatever network namespaces it
# left behind (and the processes in them), also when the program crashed.
# The program names its namespaces after BRENVO_NETNS_PREFIX.
here=$(cd "$(dirname "$0")" && pwd)
prefix="bvpm$$"
export BRENVO_NETNS_PREFIX="$prefix"
# Under AddressSanitizer: see the suppression file for the one report it hides.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}suppressions=$here/asan-miniupnpc.supp"

"$@" &
child=$!
trap 'kill -TERM "$child" 2>/dev/null' INT TERM
wait "$child"
status=$?
# A signal interrupts the first wait; wait again for the program to end.
if kill -0 "$child" 2>/dev/null; then wait "$child"; status=$?; fi

for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep "^$prefix-"); do
  ip netns pids "$ns" 2>/dev/null | xargs -r kill -KILL 2>/dev/null
  ip netns del "$ns" 2>/dev/null
done
exit "$status"
