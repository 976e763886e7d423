#!/usr/bin/env bash
# Builds Orvane and starts the viewer with the demo simulation streaming into
# it. "--gl" as the first argument starts orvane-gl (the viewer in a Qt
# OpenGL widget) instead of orvane; other arguments go to the viewer
# (e.g. -tcp 11001).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

program=orvane
if [ "${1:-}" = "--gl" ]; then
  program=orvane-gl
  shift
fi

export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target orvane orvane-gl orvane-demo

port=11000
args=("$@")
for ((i = 0; i + 1 < ${#args[@]}; i++)); do
  [ "${args[i]}" = "-tcp" ] && port=${args[i + 1]}
done

build/client/demo/orvane-demo 127.0.0.1 "$port" &
demo=$!
trap 'kill "$demo" 2>/dev/null || true' EXIT
"build/app/$program" "$@"
