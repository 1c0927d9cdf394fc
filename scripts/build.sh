#!/bin/sh
# Configures and builds into ${BUILD_DIR:-build}. Extra CMake arguments pass through.
set -e
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$BUILD_DIR" --parallel "${JOBS:-$(nproc)}"
