#!/bin/bash
# Builds everything and runs every test: the native suite with ctest, then the
# Qt-free libraries and programs cross-compiled with mingw-w64 and run under
# wine64 against the native build's emulators (scripts/test-win32.sh).
# BUILD_DIR, and extra CMake arguments in CMAKE_ARGS, select other builds
# (CI uses them for the -Werror and the sanitizer runs).
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build} scripts/build.sh $CMAKE_ARGS
BUILD_DIR=${BUILD_DIR:-build}
( cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300 )

if [ "${SKIP_WINE:-0}" != 1 ]; then
    scripts/test-win32.sh
fi
