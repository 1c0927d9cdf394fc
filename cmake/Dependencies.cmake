# Every dependency comes from Debian's packages.
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTOUIC ON)
set(CMAKE_AUTORCC ON)

find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Widgets Network Svg LinguistTools Test)
find_package(Threads REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
# cpp-httplib is a compiled library in Debian: its users must be compiled with
# the flags of its pkg-config file, or the class layout will not match.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
