#!/bin/bash
# Builds Qt 5.15 for 32-bit Windows (i686-w64-mingw32, posix threads) from
# Debian's own source packages, with only what the manager uses (Core, Gui,
# Widgets, Network with TLS through OpenSSL, Svg, the windows platform plugin,
# the gif, ico and svg image formats), as shared DLLs, into a cache folder
# outside the checkout. The folder's name carries the Qt and OpenSSL versions
# and a hash of the configure options and of this recipe: another version or
# recipe gets a new folder. A folder is complete only once its stamp exists;
# it is built in a temporary folder beside it and moved into place at the end.
# moc, rcc, uic, qlalr and tracegen are Debian's native tools of the same
# version (linked into the cache's bin/); lrelease comes from Debian's
# qttools5-dev-tools through CMake.
# Usage: scripts/win32-qt.sh            builds when needed; prints the cache folder on its last line
#        scripts/win32-qt.sh --cached   prints the cache folder; exit status 0 when it is complete
# BW_WIN32_QT_CACHE overrides the folder; JOBS the parallel jobs (nproc).
set -e
# Read whole before it runs: an edit of this file during a long build must not change the run.
{
cd "$(dirname "$0")/.."
ROOT=$PWD
HOST=i686-w64-mingw32
JOBS=${JOBS:-$(nproc)}
HOST_BINS=/usr/lib/qt5/bin
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

QT_SRC_VERSION=$(dpkg-query -W -f='${source:Version}' libqt5core5a 2>/dev/null) || {
    echo "win32-qt: Debian's Qt 5 (qtbase5-dev) is not installed" >&2; exit 1; }
SVG_SRC_VERSION=$(dpkg-query -W -f='${source:Version}' libqt5svg5 2>/dev/null) || {
    echo "win32-qt: Debian's Qt Svg (libqt5svg5-dev) is not installed" >&2; exit 1; }
for tool in moc rcc uic qlalr tracegen; do
    [ -x "$HOST_BINS/$tool" ] || { echo "win32-qt: $HOST_BINS/$tool is missing (qtbase5-dev-tools)" >&2; exit 1; }
done

CONFIGURE_OPTIONS=(
    -opensource -confirm-license -release -shared -silent
    -platform linux-g++ -xplatform win32-g++ -device-option CROSS_COMPILE=$HOST-
    -nomake examples -nomake tests
    -no-opengl -no-direct2d -no-dbus -no-icu -no-freetype -no-fontconfig -no-libjpeg -no-vulkan
    -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz
    -no-feature-sql -no-feature-testlib -no-feature-concurrent -no-feature-xml
    -no-feature-printer -no-feature-bearermanagement -no-feature-dtls -no-feature-ocsp
    -no-feature-tabletevent -no-feature-vkgen
    -openssl-linked
)
# OpenSSL for i686 is built by win32-deps.sh beside the caches, under the hash
# of its recipe; the version it was built from (its stamp) is the one Qt links,
# whatever libssl-dev the build machine has installed since.
BASE=${BW_WIN32_QT_CACHE:+$(dirname "$BW_WIN32_QT_CACHE")}
BASE=${BASE:-${XDG_CACHE_HOME:-$HOME/.cache}/brindlewick}
SSL_RECIPE=$(sed -n '/^build_openssl()/,/^}/p' scripts/win32-deps.sh | sha256sum | cut -c1-12)
SSL_DEPS=$BASE/deps-$HOST-$SSL_RECIPE
ssl_built() { ls -a "$SSL_DEPS/deps/$HOST" 2>/dev/null | sed -n 's/^\.openssl-//p' | head -n 1; }
SSL_VERSION=$(ssl_built)
if [ -z "$SSL_VERSION" ] && [ "${1:-}" != --cached ]; then
    mkdir -p "$BASE"
    SKIP_WINE32=1 scripts/win32-deps.sh "$SSL_DEPS" $HOST >/dev/null
    SSL_VERSION=$(ssl_built)
fi
if [ -z "$SSL_VERSION" ]; then
    [ "${1:-}" = --cached ] || { echo "win32-qt: no OpenSSL for $HOST in $SSL_DEPS" >&2; exit 1; }
    echo "$BASE/qt5-mingw-i686 (OpenSSL for $HOST not built yet)"
    exit 1
fi
# The key: the versions, the options, the build steps below the marker line of
# this file and OpenSSL's recipe in win32-deps.sh.
KEY=$( { printf '%s\n' "$QT_SRC_VERSION" "$SVG_SRC_VERSION" "$SSL_VERSION" "${CONFIGURE_OPTIONS[@]}"
         sed -n '/^# ---- build steps/,$p' "$0"
         sed -n '/^build_openssl()/,/^}/p' scripts/win32-deps.sh; } | sha256sum | cut -c1-12)
QT_VERSION=${QT_SRC_VERSION%%+*}
QT_VERSION=${QT_VERSION%%-*}
CACHE=${BW_WIN32_QT_CACHE:-$BASE/qt5-mingw-i686-$QT_VERSION-${SSL_VERSION%%-*}-$KEY}
STAMP=$CACHE/.brindlewick-qt-complete
complete() { [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$KEY" ]; }
if [ "${1:-}" = --cached ]; then
    echo "$CACHE"
    complete
    exit
fi
if complete; then
    echo "win32-qt: using $CACHE"
    echo "$CACHE"
    exit 0
fi

# ---- build steps (part of the cache key)
mkdir -p "$(dirname "$CACHE")"
# The work folder belongs to this key and stays until the cache is complete:
# a build that failed or was stopped goes on from where it was at the next run.
WORK=$CACHE.build
exec 9>"$WORK.lock"
flock -n 9 || { echo "win32-qt: another run is building $CACHE" >&2; exit 1; }
mkdir -p "$WORK"
echo "win32-qt: building Qt $QT_SRC_VERSION for $HOST into $CACHE (work folder $WORK, resumed when it exists)"

# The posix-thread tool chain under the plain names qmake's CROSS_COMPILE expects.
mkdir -p "$WORK/toolbin"
for tool in /usr/bin/$HOST-*; do
    name=${tool##*/}
    case "$name" in *-posix | *-win32 | *-12 | *-12-*) continue ;; esac
    ln -sf "$tool" "$WORK/toolbin/$name"
done
for tool in gcc g++ c++ cpp gcc-ar gcc-nm gcc-ranlib; do
    ln -sf "/usr/bin/$HOST-$tool-posix" "$WORK/toolbin/$HOST-$tool"
done
export PATH=$WORK/toolbin:$PATH

# OpenSSL for i686 as the rest of the Win32 build gets it (static, linked into
# Qt5Network.dll); kept beside the caches under the hash of its recipe, so a
# rebuilt Qt does not build it again.
SSL_RECIPE=$(sed -n '/^build_openssl()/,/^}/p' scripts/win32-deps.sh | sha256sum | cut -c1-12)
SKIP_WINE32=1 scripts/win32-deps.sh "$(dirname "$CACHE")/deps-$HOST-$SSL_RECIPE" $HOST >/dev/null
SSL=$(dirname "$CACHE")/deps-$HOST-$SSL_RECIPE/deps/$HOST
[ -f "$SSL/lib/libssl.a" ] || { echo "win32-qt: no OpenSSL for $HOST in $SSL" >&2; exit 1; }

# apt-get source needs deb-src entries; win32-deps.sh has added them when missing.
if [ ! -f "$WORK/src/.prepared" ]; then
rm -rf "$WORK/src" "$WORK/qtbase" "$WORK/qtsvg"
mkdir -p "$WORK/src"
( cd "$WORK/src" && apt-get source -qq "qtbase-opensource-src=$QT_SRC_VERSION" \
      "qtsvg-opensource-src=$SVG_SRC_VERSION" >"$WORK/apt-source.log" 2>&1 ) || {
    cat "$WORK/apt-source.log" >&2; echo "win32-qt: apt-get source of Qt failed" >&2; exit 1; }
QTBASE=$(find "$WORK/src" -mindepth 1 -maxdepth 1 -type d -name 'qtbase-*' | head -n 1)
QTSVG=$(find "$WORK/src" -mindepth 1 -maxdepth 1 -type d -name 'qtsvg-*' | head -n 1)
[ -x "$QTBASE/configure" ] && [ -f "$QTSVG/qtsvg.pro" ] || { echo "win32-qt: unexpected Qt source layout" >&2; exit 1; }

# The host tools are Debian's: the tools' folders are left out of the build
# and the build's bin/ links to the native ones.
cat >>"$QTBASE/src/src.pro" <<'EOF'

# Host tools come from the native Qt of the same version.
SUBDIRS -= src_tools_bootstrap src_tools_moc src_tools_rcc src_tools_tracegen src_tools_qlalr src_tools_uic \
    src_tools_qvkgen
src_gui.depends -= src_tools_qvkgen
src_corelib.depends -= src_tools_moc src_tools_tracegen
src_gui.depends -= src_tools_rcc
src_widgets.depends -= src_tools_uic
EOF
touch "$WORK/src/.prepared"
fi
QTBASE=$(find "$WORK/src" -mindepth 1 -maxdepth 1 -type d -name 'qtbase-*' | head -n 1)
QTSVG=$(find "$WORK/src" -mindepth 1 -maxdepth 1 -type d -name 'qtsvg-*' | head -n 1)

LOG=$WORK/log
mkdir -p "$LOG" "$WORK/qtbase" "$WORK/qtsvg" "$WORK/stage"
# A failure keeps the logs beside the cache folder and shows the first errors,
# which a parallel make reports long before it stops; the work folder stays.
fail() {
    rm -rf "$CACHE.failed-logs" && cp -r "$LOG" "$CACHE.failed-logs"
    echo "win32-qt: $1 failed (logs in $CACHE.failed-logs; the next run resumes $WORK); its first errors and last lines:" >&2
    grep -n -m 20 -E "error|Error [0-9]|No rule|not found" "$2" >&2 || true
    tail -n 15 "$2" >&2
    exit 1
}
if [ ! -f "$WORK/qtbase/.configured" ]; then
    rm -rf "$WORK/qtbase" && mkdir -p "$WORK/qtbase"
    ( cd "$WORK/qtbase" && "$QTBASE/configure" -prefix "$CACHE" "${CONFIGURE_OPTIONS[@]}" \
          OPENSSL_INCDIR="$SSL/include" OPENSSL_LIBDIR="$SSL/lib" \
          OPENSSL_LIBS="-lssl -lcrypto -lws2_32 -lcrypt32 -luser32 -ladvapi32 -lbcrypt" ) >"$LOG/configure.log" 2>&1 \
        || fail "configure" "$LOG/configure.log"
    touch "$WORK/qtbase/.configured"
fi
# What a tool's own folder would write with -external-hostbindir: where qmake
# finds the tool while Qt and its modules are built.
mkdir -p "$WORK/qtbase/mkspecs/modules"
for tool in moc rcc uic qlalr tracegen; do
    ln -sf "$HOST_BINS/$tool" "$WORK/qtbase/bin/$tool"
    printf 'QT_TOOL.%s.binary = %s\nQT_TOOL.%s.depends =\n' "$tool" "$HOST_BINS/$tool" "$tool" \
        >"$WORK/qtbase/mkspecs/modules/qt_tool_$tool.pri"
done
( cd "$WORK/qtbase" && make -j"$JOBS" && make install INSTALL_ROOT="$WORK/stage" ) >"$LOG/qtbase.log" 2>&1 \
    || fail "building qtbase" "$LOG/qtbase.log"
( cd "$WORK/qtsvg" && "$WORK/qtbase/bin/qmake" "$QTSVG" -- && make -j"$JOBS" \
      && make install INSTALL_ROOT="$WORK/stage" ) >"$LOG/qtsvg.log" 2>&1 \
    || fail "building qtsvg" "$LOG/qtsvg.log"

STAGED=$WORK/stage$CACHE
for tool in moc rcc uic qlalr tracegen; do
    ln -sf "$HOST_BINS/$tool" "$STAGED/bin/$tool"
done
cp "$LOG"/*.log "$STAGED/" 2>/dev/null || true
echo "$KEY" >"$STAGED/.brindlewick-qt-complete"
rm -rf "$CACHE"
mv "$STAGED" "$CACHE"
rm -rf "$WORK" "$WORK.lock"
echo "win32-qt: Qt for $HOST ready in $CACHE"
echo "$CACHE"
exit 0
}
