#!/usr/bin/env bash
# Installs the client (cmake --install --component client) into a fresh
# prefix and builds the three examples against the installed copy only: with
# find_package(OrvaneClient) and with pkg-config. Then runs orvane-replay from
# the prefix. Usage: install_test.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -euo pipefail
build=$1 source=$2 work=$3
rm -rf "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --component client >/dev/null

# No source folder on the include path: everything comes from the prefix.
mkdir -p "$work/consumer/src"
cp "$source"/client/examples/{moving_box,pause_button,intersector_distances}.cpp "$work/consumer/src/"
cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer CXX)
find_package(OrvaneClient REQUIRED)
foreach(example moving_box pause_button intersector_distances)
  add_executable(${example} src/${example}.cpp)
  target_link_libraries(${example} PRIVATE OrvaneClient::client)
endforeach()
CMAKE
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
for example in moving_box pause_button intersector_distances; do
  test -x "$work/consumer/build/$example"
done

pc_dir=$(dirname "$(find "$prefix" -name orvane-client.pc | head -n 1)")
flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs orvane-client)
# The user's choice of language standard stays theirs; the header keeps to C++17.
case " $flags " in *" -std="*)
  echo "pkg-config imposes a language standard: $flags" >&2
  exit 1
esac
# shellcheck disable=SC2086 # the flags are words on purpose
c++ -std=c++17 "$work/consumer/src/moving_box.cpp" -o "$work/moving_box-pc" $flags
test -x "$work/moving_box-pc"

# The example says why it cannot reach a viewer (nothing listens on port 1).
if "$work/moving_box-pc" 1 0.1 2>"$work/err"; then
  echo "moving_box reached a viewer on port 1?" >&2
  exit 1
fi
grep -q "moving_box: Cannot connect to 127.0.0.1:1" "$work/err"

"$prefix/bin/orvane-replay" 2>/dev/null && exit 1
echo "installed, built with find_package and pkg-config: $prefix"
