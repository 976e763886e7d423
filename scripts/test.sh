#!/usr/bin/env bash
# Builds Orvane and runs every test: all tiers (the GL and program tests need
# the virtual X server everything runs under), the tests labelled tsan again
# under ThreadSanitizer, and the packet decoder fuzzer for a bounded time.
# docs/TESTING.md describes the tiers and labels.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

echo "== module order"
python3 scripts/check-layers.py

echo "== build"
cmake -S . -B build -G Ninja -DORVANE_WERROR=ON >/dev/null
cmake --build build -j "$jobs"

runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT

echo "== tests"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 XDG_RUNTIME_DIR="$runtime" \
  ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

echo "== tests under ThreadSanitizer"
# The tests labelled tsan (orvane_test ... TSAN): the target tsan_tests builds
# exactly their programs, and ctest picks their cases by the label. Programs
# not built there register no labelled cases, so nothing else runs.
cmake -S . -B build-tsan -G Ninja -DORVANE_SANITIZE=thread -DORVANE_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-tsan -j "$jobs" --target tsan_tests
tsan_cases=$(ctest --test-dir build-tsan -N -L tsan | sed -n 's/^Total Tests: //p')
if [ "${tsan_cases:-0}" -eq 0 ]; then
  echo "test.sh: no test is labelled tsan in the ThreadSanitizer build" >&2
  exit 1
fi
TSAN_OPTIONS="halt_on_error=1" XDG_RUNTIME_DIR="$runtime" \
  ctest --test-dir build-tsan -L tsan --no-tests=error --output-on-failure -j "$jobs" --timeout 300

echo "== fuzzing the packet decoder (30 s)"
scripts/fuzz.sh 30
