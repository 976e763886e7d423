#!/usr/bin/env bash
# Fuzzes the packet decoder with libFuzzer (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) for the given number of seconds (default 600).
# New inputs that raise coverage stay in build-fuzz/corpus; a crash leaves its
# input in build-fuzz/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DORVANE_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target fuzz_packet
mkdir -p build-fuzz/corpus
cd build-fuzz
rc=0
./fuzz/fuzz_packet -max_total_time="$seconds" -print_final_stats=1 corpus ../fuzz/corpus \
  >fuzz.log 2>&1 || rc=$?
grep -E '^stat::(number_of_executed_units|new_units_added)|ERROR|SUMMARY|^==' fuzz.log || true
[ "$rc" -eq 0 ] || { echo "fuzzer failed with status $rc (build-fuzz/fuzz.log)"; tail -40 fuzz.log; }
exit "$rc"
