#!/bin/sh
# Installs the Debian packages the build, the run and the tests need (as root).
# Packages already present are not touched, so a second run costs a second.
set -e
PACKAGES="build-essential cmake ninja-build pkg-config
 qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev qt5-image-formats-plugins
 libjsoncpp-dev libcpp-httplib-dev libssl-dev openssl libbenchmark-dev
 xvfb xauth x11-utils imagemagick fonts-dejavu-core libxcb1-dev curl python3 p7zip-full procps iproute2
 mingw-w64 wine64
 qtkeychain-qt5-dev gnome-keyring dbus-daemon dbus-bin clang-format"
. "$(dirname "$0")/install-missing.sh"
# shellcheck disable=SC2086
install_missing $PACKAGES
