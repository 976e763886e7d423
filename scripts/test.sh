#!/usr/bin/env bash
# Builds Orvane and runs every test: the unit and GL tests (GL under a
# virtual X server), the link tests again under ThreadSanitizer, and the
# packet decoder fuzzer for a bounded time.
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
cmake -S . -B build-tsan -G Ninja -DORVANE_SANITIZE=thread -DORVANE_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The target list is read whole first: `grep -q` on ninja's pipe would stop
# reading early, ninja would die of SIGPIPE and pipefail would drop the target.
all_targets=$(ninja -C build-tsan -t targets all 2>/dev/null)
tsan_targets=()
for t in test_net test_console test_replay test_files; do
  if grep -q "^$t:" <<<"$all_targets"; then
    tsan_targets+=("$t")
  else
    echo "test.sh: $t is missing from the ThreadSanitizer build" >&2
    exit 1
  fi
done
if [ ${#tsan_targets[@]} -gt 0 ]; then
  cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
  for t in "${tsan_targets[@]}"; do
    TSAN_OPTIONS="halt_on_error=1" XDG_RUNTIME_DIR="$runtime" \
      "$(find build-tsan/tests -name "$t" -type f -executable | head -1)" --gtest_brief=1
  done
fi

echo "== fuzzing the packet decoder (30 s)"
scripts/fuzz.sh 30
