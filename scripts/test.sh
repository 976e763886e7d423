#!/usr/bin/env bash
# Builds Orvane and runs every test: the unit and GL tests (GL under a
# virtual X server), the tests of the modules that read untrusted bytes or
# share data between threads again under AddressSanitizer with
# UndefinedBehaviorSanitizer, the link and object-manager tests under
# ThreadSanitizer, and the packet decoder and replay reader fuzzers for a
# bounded time.
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

# sanitized_tests FOLDER SANITIZERS "NAME=VALUE ..." TARGET...: builds the
# test targets in a sanitizer build folder and runs each with those options
# in its environment. The target list is read whole first: `grep -q` on
# ninja's pipe would stop reading early, ninja would die of SIGPIPE and
# pipefail would drop the target.
sanitized_tests() {
  local folder=$1 sanitizers=$2 options=$3
  shift 3
  cmake -S . -B "$folder" -G Ninja -DORVANE_SANITIZE="$sanitizers" -DORVANE_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  local all_targets
  all_targets=$(ninja -C "$folder" -t targets all 2>/dev/null)
  for t in "$@"; do
    if ! grep -q "^$t:" <<<"$all_targets"; then
      echo "test.sh: $t is missing from the $folder build" >&2
      exit 1
    fi
  done
  cmake --build "$folder" -j "$jobs" --target "$@"
  local t
  for t in "$@"; do
    # shellcheck disable=SC2086 # the options are words on purpose
    env $options XDG_RUNTIME_DIR="$runtime" \
      "$(find "$folder/tests" -name "$t" -type f -executable | head -1)" --gtest_brief=1
  done
}

# The GL-free tests of the modules that decode bytes from the network and
# from files, keep threads, or read settings, models and terrain (the modules
# below the object kinds and the views, so that this build stays small).
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ubsan="UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
sanitized_tests build-asan address,undefined "$ubsan" \
  test_gnp2 test_net test_replay test_objectmanager test_scene test_console test_settings \
  test_flex test_dynlib
# The file manager counts a model's users in the node's own reference count,
# and its tests drop managers whose models still have users: those nodes are
# never freed by design, so leaks are not looked for here.
sanitized_tests build-asan address,undefined "$ubsan ASAN_OPTIONS=detect_leaks=0" test_files

echo "== tests under ThreadSanitizer"
sanitized_tests build-tsan thread "TSAN_OPTIONS=halt_on_error=1" \
  test_net test_objectmanager test_console test_replay test_files

echo "== fuzzing the packet decoder and the replay reader (30 s each)"
scripts/fuzz.sh 30
