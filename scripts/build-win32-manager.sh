#!/bin/bash
# The manager for 32-bit Windows in one command: Qt for mingw (scripts/win32-qt.sh,
# built once into its cache), JsonCpp, OpenSSL and 7-Zip's 7za.exe for i686
# (scripts/win32-deps.sh),
# then every library, program and component cross-built in BUILD_DIR_WIN32_QT
# (default build-win32-qt) with the warnings of the Linux build as errors, and
# the program folder laid out as an installed one in <build>/Brindlewick:
# the manager, the service, the components, the tools, the VehDiag folder,
# 7za.exe, the Qt DLLs and plugins and the mingw run-time DLLs Qt needs.
# The pictures the build renders come from the native tree's render-pictures
# (BUILD_DIR, default build/, configured when missing).
# BW_BUILD_LOCK names a lock file that serialises builds on a shared machine (CI).
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
HOST=i686-w64-mingw32
W=${BUILD_DIR_WIN32_QT:-$ROOT/build-win32-qt}
NATIVE=${BUILD_DIR:-$ROOT/build}
LOCK=(${BW_BUILD_LOCK:+flock "$BW_BUILD_LOCK"})
mkdir -p "$W" && W=$(cd "$W" && pwd)

QT=$(scripts/win32-qt.sh | tail -n 1)
[ -f "$QT/lib/cmake/Qt5/Qt5Config.cmake" ] || { echo "build-win32-manager: no Qt in $QT" >&2; exit 1; }

if [ ! -f "$NATIVE/CMakeCache.txt" ]; then
    cmake -S . -B "$NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
"${LOCK[@]}" cmake --build "$NATIVE" --target render-pictures
RENDER=$(find "$NATIVE" -path '*/render-pictures/render-pictures' -type f -perm -u+x | head -n 1)

WITH_7ZIP=1 "${LOCK[@]}" scripts/win32-deps.sh "$W" $HOST
cmake -S . -B "$W" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
      -DCMAKE_PREFIX_PATH="$QT" -DBW_QT=ON -DBW_WERROR=ON -DBW_BUILD_TESTS=OFF -DBW_BUILD_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=Release -DBW_HOST_RENDER_PICTURES="$RENDER" $CMAKE_ARGS_WIN32 >/dev/null
"${LOCK[@]}" cmake --build "$W" --parallel "$(nproc)"

# The program folder, as the installer lays it out.
P=$W/Brindlewick
rm -rf "$P" && mkdir -p "$P"
cp -a "$W"/bin/. "$P"/
for module in Core Gui Widgets Network Svg; do
    cp "$QT/bin/Qt5$module.dll" "$P/"
done
for plugin in platforms/qwindows styles/qwindowsvistastyle imageformats/qgif imageformats/qico \
              imageformats/qsvg iconengines/qsvgicon; do
    mkdir -p "$P/${plugin%/*}"
    cp "$QT/plugins/$plugin.dll" "$P/$plugin.dll"
done
cp "$W/deps/$HOST/bin/7za.exe" "$P/"
# Qt's DLLs use the tool chain's shared C++ run-time (posix threads); our own
# programs and libraries link it statically.
RUNTIME=$(dirname "$($HOST-g++-posix -print-libgcc-file-name)")
for dll in "$RUNTIME/libstdc++-6.dll" "$RUNTIME/libgcc_s_dw2-1.dll" "/usr/$HOST/lib/libwinpthread-1.dll"; do
    [ -f "$dll" ] || { echo "build-win32-manager: $dll is missing (g++-mingw-w64-i686-posix)" >&2; exit 1; }
    cp "$dll" "$P/"
done
echo "build-win32-manager: program folder $P ($(du -sh "$P" | cut -f1))"
