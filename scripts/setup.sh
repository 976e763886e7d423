#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Orvane needs.
# Idempotent: when everything is already there it prints nothing and exits 0.
set -euo pipefail

packages=(
  # build tools
  cmake ninja-build ccache lld clang libclang-rt-14-dev pkg-config python3
  # the Python client is installed with pip into a virtual environment in its test
  python3-venv
  # Qt 6 (Widgets, OpenGL, OpenGLWidgets, Test)
  qt6-base-dev libqt6opengl6-dev libgl-dev libx11-dev
  # EGL: drawing without a display (a GPU device, or Mesa's surfaceless platform)
  libegl-dev libegl-mesa0
  # OpenSceneGraph and its plug-ins
  libopenscenegraph-dev openscenegraph
  # compressed MCAP chunks of the replay export
  libzstd-dev liblz4-dev
  # FFmpeg, and ffprobe for the tests
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  # maths and compute
  libeigen3-dev ocl-icd-opencl-dev pocl-opencl-icd
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # the MCAP export's independent reader (npm packages, installed by its test)
  nodejs
  # a virtual X server for the GL tests
  xvfb xauth
  # fonts that the font mapping resolves to
  fonts-liberation fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done
# npm comes with some builds of nodejs; Debian's own is a package of its own.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
