#!/bin/sh
# Installs the Debian packages the build, the run and the tests need (as root,
# or through sudo). Packages already present are not touched, so a second run
# costs a second. "scripts/deps.sh run" installs only what building and running
# the manager against the emulators needs (scripts/run.sh): no cross compiler,
# wine, keyring or format checker, which make up most of the download.
set -e
RUN_PACKAGES="build-essential cmake ninja-build pkg-config
 qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev qt5-image-formats-plugins
 libjsoncpp-dev libcpp-httplib-dev libssl-dev openssl libbenchmark-dev qtkeychain-qt5-dev
 xvfb xauth x11-utils imagemagick fonts-dejavu-core libxcb1-dev p7zip-full procps iproute2"
TEST_PACKAGES="curl python3 mingw-w64 wine64 gnome-keyring dbus-daemon dbus-bin clang-format xdotool"
. "$(dirname "$0")/install-missing.sh"
case "${1:-all}" in
    run) PACKAGES=$RUN_PACKAGES ;;
    all) PACKAGES="$RUN_PACKAGES $TEST_PACKAGES" ;;
    *) echo "usage: $0 [run]" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
install_missing $PACKAGES
