#!/usr/bin/env bash
# Builds Orvane and runs every test: all tiers (the GL and program tests need
# the virtual X server everything runs under), the tests labelled asan again
# under AddressSanitizer with UndefinedBehaviorSanitizer, those labelled tsan
# under ThreadSanitizer, and the packet decoder and replay reader fuzzers for
# a bounded time. docs/TESTING.md describes the tiers and labels.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
# Paths relative to the checkout in the compiler cache's keys: a fresh clone
# in another folder reuses what an earlier clone compiled from the same
# sources instead of compiling everything again.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true

echo "== module order"
python3 scripts/check-layers.py

echo "== build"
cmake -S . -B build -G Ninja -DORVANE_WERROR=ON >/dev/null
cmake --build build -j "$jobs"

runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT

echo "== tests"
# -noreset: the virtual X server otherwise resets whenever its last client
# leaves, and a GL test starting during that reset cannot connect.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  env QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 XDG_RUNTIME_DIR="$runtime" \
  ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

# sanitized_tests FOLDER SANITIZERS LABEL "NAME=VALUE ...": the tests
# labelled LABEL (orvane_test ... TSAN or ASAN) again in a sanitizer build:
# the target <label>_tests builds exactly their programs, and ctest picks
# their cases by the label. Programs not built there register no labelled
# cases, so nothing else runs. -O1 -g1 instead of -O2 -g: the instrumented
# code compiles faster, and line tables are all a report's stack needs.
sanitized_tests() {
  local folder=$1 sanitizers=$2 label=$3 options=$4
  cmake -S . -B "$folder" -G Ninja -DORVANE_SANITIZE="$sanitizers" -DORVANE_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
  cmake --build "$folder" -j "$jobs" --target "${label}_tests"
  local cases
  cases=$(ctest --test-dir "$folder" -N -L "$label" | sed -n 's/^Total Tests: //p')
  if [ "${cases:-0}" -eq 0 ]; then
    echo "test.sh: no test is labelled $label in the $folder build" >&2
    exit 1
  fi
  # shellcheck disable=SC2086 # the options are words on purpose
  env $options XDG_RUNTIME_DIR="$runtime" \
    ctest --test-dir "$folder" -L "$label" --no-tests=error --output-on-failure -j "$jobs" \
    --timeout 300
}

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
sanitized_tests build-asan address,undefined asan "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"

echo "== tests under ThreadSanitizer"
sanitized_tests build-tsan thread tsan "TSAN_OPTIONS=halt_on_error=1"

echo "== fuzzing the packet decoder and the replay reader (30 s each)"
scripts/fuzz.sh 30
