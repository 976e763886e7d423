#!/usr/bin/env bash
# Fuzzes with libFuzzer (clang, AddressSanitizer and UndefinedBehaviorSanitizer)
# for the given number of seconds each (default 600): the packet decoder, then
# the replay file reader and indexer. Inputs that raise coverage stay in
# build-fuzz/corpus-<name>; a crash, a leak, a unit slower than 10 s or an
# allocation beyond the fuzzer's limit leaves its input in build-fuzz/ and
# fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DORVANE_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target fuzz_packet fuzz_replay
cd build-fuzz

# name, seed corpus, extra options
run() {
  local name=$1 seeds=$2
  shift 2
  mkdir -p "corpus-$name"
  echo "== fuzz_$name ($seconds s)"
  local rc=0
  "./fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 "$@" \
    "corpus-$name" "$seeds" >"fuzz-$name.log" 2>&1 || rc=$?
  grep -E '^stat::(number_of_executed_units|new_units_added)|ERROR|SUMMARY|^==' \
    "fuzz-$name.log" || true
  if [ "$rc" -ne 0 ]; then
    echo "fuzz_$name failed with status $rc (build-fuzz/fuzz-$name.log)"
    tail -40 "fuzz-$name.log"
  fi
  return "$rc"
}

status=0
run packet ../fuzz/corpus || status=1
# The reader allocates about the file's size; more is a length word trusted.
run replay ../fuzz/replay_corpus -malloc_limit_mb=64 || status=1
exit "$status"
