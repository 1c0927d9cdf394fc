#!/bin/bash
# Builds the libraries the Windows build needs and Debian has no mingw-w64
# package of, from Debian's own source packages (apt-get source), into
# <build folder>/deps: a static library, its headers and a pkg-config file,
# for the tool chain given (x86_64-w64-mingw32 by default).
# Usage: scripts/win32-deps.sh <build folder> [tool chain prefix]
# A second run with the same sources does nothing.
set -e
W=${1:?usage: win32-deps.sh <build folder> [prefix]}
mkdir -p "$W" && W=$(cd "$W" && pwd)
HOST=${2:-x86_64-w64-mingw32}
CXX=$HOST-g++-posix
AR=$HOST-ar
DEPS=$W/deps
PREFIX=$DEPS/$HOST
mkdir -p "$DEPS"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

# apt-get source needs deb-src lines for the suites the binary packages come
# from; add them beside Debian's own entry when none are there.
ensure_deb_src() {
    if [ -n "$(apt-cache showsrc "$1" 2>/dev/null)" ]; then
        return
    fi
    local list=/etc/apt/sources.list.d/debian-src.sources
    echo "win32-deps: adding Debian's source packages ($list)"
    $SUDO tee "$list" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    $SUDO apt-get update -qq
}

# JsonCpp: the version of the installed Linux package, so both builds parse alike.
build_jsoncpp() {
    local package version stamp src
    package=$(dpkg-query -W -f='${source:Package}' libjsoncpp-dev)
    version=$(dpkg-query -W -f='${source:Version}' libjsoncpp-dev)
    stamp=$PREFIX/.jsoncpp-$version
    [ -f "$stamp" ] && return
    ensure_deb_src "$package"
    src=$DEPS/src
    rm -rf "$src" && mkdir -p "$src"
    echo "win32-deps: JsonCpp $version from Debian's source package"
    ( cd "$src" && apt-get source -qq "$package=$version" >/dev/null 2>&1 ) || {
        echo "win32-deps: apt-get source $package=$version failed" >&2; exit 1; }
    local dir
    dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n 1)
    [ -f "$dir/src/lib_json/json_value.cpp" ] || { echo "win32-deps: unexpected JsonCpp source layout" >&2; exit 1; }
    rm -rf "$PREFIX/include/json" "$PREFIX/lib/libjsoncpp.a"
    mkdir -p "$PREFIX/include" "$PREFIX/lib/pkgconfig" "$DEPS/obj-$HOST"
    local objects=()
    for f in json_reader json_value json_writer; do
        "$CXX" -std=c++17 -O2 -DNDEBUG -I"$dir/include" -I"$dir/src/lib_json" \
            -c "$dir/src/lib_json/$f.cpp" -o "$DEPS/obj-$HOST/$f.o"
        objects+=("$DEPS/obj-$HOST/$f.o")
    done
    "$AR" rcs "$PREFIX/lib/libjsoncpp.a" "${objects[@]}"
    cp -r "$dir/include/json" "$PREFIX/include/"
    cat >"$PREFIX/lib/pkgconfig/jsoncpp.pc" <<EOF
prefix=$PREFIX
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: jsoncpp
Description: JsonCpp $version built from Debian's source package for $HOST
Version: ${version%%-*}
Libs: -L\${libdir} -ljsoncpp
Cflags: -I\${includedir}
EOF
    rm -f "$PREFIX"/.jsoncpp-*
    touch "$stamp"
}

build_jsoncpp
