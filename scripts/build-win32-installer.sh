#!/bin/bash
# The Windows installer: the program folder from scripts/build-win32-manager.sh
# (built first) packed by NSIS (Debian's nsis) with installer/Brindlewick.nsi
# into <build>/Brindlewick-<version>-setup.exe (BUILD_DIR_WIN32_QT, default
# build-win32-qt).
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
command -v makensis >/dev/null || { echo "build-win32-installer: makensis is missing (apt-get install nsis)" >&2; exit 1; }
W=${BUILD_DIR_WIN32_QT:-$ROOT/build-win32-qt}
scripts/build-win32-manager.sh
W=$(cd "$W" && pwd)
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$W/CMakeCache.txt")
OUT=$W/Brindlewick-$VERSION-setup.exe
makensis -V2 -DPROGRAM_FOLDER="$W/Brindlewick" -DVERSION="$VERSION" -DOUTFILE="$OUT" installer/Brindlewick.nsi
echo "build-win32-installer: $OUT ($(du -h "$OUT" | cut -f1))"
