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

# cpp-httplib, for the manager's plain-HTTP session records: the version of the
# installed Linux package, used as the single header of its source (Debian's
# package is the compiled split; on Windows the header needs only Winsock).
build_httplib() {
    local version stamp src dir
    version=$(dpkg-query -W -f='${source:Version}' libcpp-httplib-dev)
    stamp=$PREFIX/.httplib-$version
    [ -f "$stamp" ] && return
    ensure_deb_src cpp-httplib
    src=$DEPS/src-httplib
    rm -rf "$src" && mkdir -p "$src"
    echo "win32-deps: cpp-httplib $version from Debian's source package"
    ( cd "$src" && apt-get source -qq "cpp-httplib=$version" >/dev/null 2>&1 ) || {
        echo "win32-deps: apt-get source cpp-httplib=$version failed" >&2; exit 1; }
    dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "cpp-httplib-*" | head -n 1)
    [ -f "$dir/httplib.h" ] || { echo "win32-deps: unexpected cpp-httplib source layout" >&2; exit 1; }
    mkdir -p "$PREFIX/include" "$PREFIX/lib/pkgconfig"
    cp "$dir/httplib.h" "$PREFIX/include/"
    cat >"$PREFIX/lib/pkgconfig/cpp-httplib.pc" <<PC
prefix=$PREFIX
includedir=\${prefix}/include

Name: cpp-httplib
Description: cpp-httplib $version (the single header) from Debian's source package for $HOST
Version: ${version%%+*}
Libs: -lws2_32 -lcrypt32
Cflags: -I\${includedir}
PC
    rm -rf "$src"
    rm -f "$PREFIX"/.httplib-*
    touch "$stamp"
}

# OpenSSL, for the remote-session link's TLS (libcrypto and libssl, static).
# The installed Linux version when its source is still published, else the
# newest Debian source of the same release that can be fetched; only what the
# link and Qt Network use (TLS 1.2 and 1.3, X.509 checks, the DSA key type
# QSslKey reads) is built.
build_openssl() {
    local installed stamp src version dir target
    installed=$(dpkg-query -W -f='${source:Version}' libssl-dev)
    ensure_deb_src openssl
    # The 32-bit assembler sources use directives mingw's assembler lacks.
    case "$HOST" in
        x86_64-*) target=mingw64 ;;
        *) target="mingw no-asm" ;;
    esac
    src=$DEPS/src-openssl
    for version in "$installed" $(apt-cache showsrc openssl 2>/dev/null | sed -n 's/^Version: //p' | sort -r -V); do
        stamp=$PREFIX/.openssl-$version
        [ -f "$stamp" ] && return
        rm -rf "$src" && mkdir -p "$src"
        ( cd "$src" && apt-get source -qq "openssl=$version" >/dev/null 2>&1 ) && break
        version=""
    done
    [ -n "$version" ] || { echo "win32-deps: no source package of openssl can be fetched" >&2; exit 1; }
    dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "openssl-*" | head -n 1)
    [ -x "$dir/Configure" ] || { echo "win32-deps: unexpected OpenSSL source layout" >&2; exit 1; }
    echo "win32-deps: OpenSSL $version from Debian's source package (about two minutes)"
    # PSK stays: Qt 5.15's TLS 1.3 session callback is compiled with its PSK
    # code, and Qt5Network.dll does not link without it.
    # shellcheck disable=SC2086 # $target holds the target and its options
    ( cd "$dir" && ./Configure $target --cross-compile-prefix="$HOST-" --prefix="$PREFIX" --libdir=lib \
          no-shared no-tests no-legacy no-engine no-dso no-ui-console no-module no-async no-comp no-ct no-ocsp \
          no-srp no-ts no-cms no-idea no-camellia no-seed no-bf no-cast no-md4 no-mdc2 no-rc2 no-rc4 no-des \
          no-sm2 no-sm3 no-sm4 no-whirlpool no-siphash no-aria no-blake2 no-rmd160 no-srtp \
          no-dtls no-ssl3 no-tls1 no-tls1_1 no-weak-ssl-ciphers no-ec2m >"$DEPS/openssl-configure.log" 2>&1 \
      && make -j"$(nproc)" build_libs >"$DEPS/openssl-build.log" 2>&1 \
      && make install_dev >"$DEPS/openssl-install.log" 2>&1 ) || {
        echo "win32-deps: building OpenSSL failed (logs in $DEPS)" >&2; exit 1; }
    rm -rf "$src"
    rm -f "$PREFIX"/.openssl-*
    touch "$PREFIX/.openssl-$version"
}

# 7-Zip's console program for the program folder ("7za.exe": the driver
# packages and the release archive are unpacked with it), from Debian's source
# package of 7-Zip (the installed version's when 7zip is installed, else the
# newest that can be fetched), statically linked; about a minute on two cores.
build_7zip() {
    local installed version stamp src dir
    installed=$(dpkg-query -W -f='${source:Version}' 7zip 2>/dev/null) || installed=""
    ensure_deb_src 7zip
    src=$DEPS/src-7zip
    for version in $installed $(apt-cache showsrc 7zip 2>/dev/null | sed -n 's/^Version: //p' | sort -r -V); do
        stamp=$PREFIX/.7zip-$version
        [ -f "$stamp" ] && [ -f "$PREFIX/bin/7za.exe" ] && return
        rm -rf "$src" && mkdir -p "$src"
        ( cd "$src" && apt-get source -qq "7zip=$version" >/dev/null 2>&1 ) && break
        version=""
    done
    [ -n "$version" ] || { echo "win32-deps: no source package of 7zip can be fetched" >&2; exit 1; }
    dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "7zip-*" | head -n 1)
    [ -f "$dir/CPP/7zip/Bundles/Alone/makefile.gcc" ] || { echo "win32-deps: unexpected 7-Zip source layout" >&2; exit 1; }
    echo "win32-deps: 7-Zip $version (7za.exe) from Debian's source package"
    mkdir -p "$src/out" "$PREFIX/bin"
    ( cd "$dir/CPP/7zip/Bundles/Alone" && make -f makefile.gcc -j"$(nproc)" IS_MINGW=1 CC="$HOST-gcc-posix" \
          CXX="$CXX" RC="$HOST-windres" O="$src/out" >"$DEPS/7zip-build.log" 2>&1 ) || {
        echo "win32-deps: building 7-Zip failed (log in $DEPS/7zip-build.log)" >&2; exit 1; }
    cp "$src/out/7za.exe" "$PREFIX/bin/7za.exe"
    rm -rf "$src"
    rm -f "$PREFIX"/.7zip-*
    touch "$PREFIX/.7zip-$version"
}

# wine32: J2534 04.04 applications on Windows are 32-bit, and so is our pass-thru
# DLL; Debian's wine64 cannot run it. Installed once (about 2.5 minutes with
# its i386 libraries on the CI machine); SKIP_WINE32=1 leaves it out.
ensure_wine32() {
    [ -x /usr/lib/wine/wine ] && return
    echo "win32-deps: installing wine32 (the i386 architecture and its libraries)"
    $SUDO dpkg --add-architecture i386
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq wine32:i386 >/dev/null
}

build_jsoncpp
build_httplib
case "$HOST" in i686-*) [ "${SKIP_WINE32:-0}" = 1 ] || ensure_wine32 ;; esac
# SKIP_OPENSSL=1: a build without the remote-session link (the i686 check).
[ "${SKIP_OPENSSL:-0}" = 1 ] || build_openssl
# WITH_7ZIP=1: the manager's program folder (scripts/build-win32-manager.sh).
[ "${WITH_7ZIP:-0}" != 1 ] || build_7zip
