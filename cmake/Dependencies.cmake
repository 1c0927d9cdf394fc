# Every dependency comes from Debian's packages; for Windows, what Debian has
# no mingw-w64 build of is built from Debian's source packages by
# scripts/win32-deps.sh into <build>/deps/<tool chain> (docs/windows-build.md).
if(BW_QT)
    set(CMAKE_AUTOMOC ON)
    set(CMAKE_AUTOUIC ON)
    set(CMAKE_AUTORCC ON)
    if(BW_BUILD_TESTS)
        set(bw_qt_test Test)
    endif()
    if(CMAKE_CROSSCOMPILING)
        # Qt for the target (scripts/win32-qt.sh, CMAKE_PREFIX_PATH); lrelease
        # runs here, so it is the build machine's own (qttools5-dev-tools).
        find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Widgets Network Svg ${bw_qt_test})
        find_program(BW_HOST_QMAKE NAMES qmake qmake-qt5 PATHS /usr/lib/qt5/bin NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
        execute_process(COMMAND ${BW_HOST_QMAKE} -query QT_INSTALL_LIBS
            OUTPUT_VARIABLE bw_host_qt_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
        find_package(Qt5LinguistTools 5.15 REQUIRED PATHS ${bw_host_qt_libs}/cmake NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    else()
        find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Widgets Network Svg LinguistTools ${bw_qt_test})
    endif()
endif()
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
if(WIN32)
    set(BW_WIN32_DEPS ${CMAKE_BINARY_DIR}/deps/${BW_MINGW_HOST} CACHE PATH "Libraries built for Windows by scripts/win32-deps.sh")
    if(NOT EXISTS ${BW_WIN32_DEPS}/lib/pkgconfig/jsoncpp.pc)
        message(FATAL_ERROR "No JsonCpp for Windows in ${BW_WIN32_DEPS}: run scripts/win32-deps.sh ${CMAKE_BINARY_DIR} ${BW_MINGW_HOST}")
    endif()
    # Only our own pkg-config files, and their paths taken as they stand.
    set(ENV{PKG_CONFIG_LIBDIR} ${BW_WIN32_DEPS}/lib/pkgconfig)
    set(ENV{PKG_CONFIG_PATH} "")
    list(APPEND CMAKE_FIND_ROOT_PATH ${BW_WIN32_DEPS})
endif()
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
if(WIN32 AND BW_REMOTE_LINK)
    # The remote-session link's TLS: OpenSSL built for Windows by win32-deps.sh, linked statically.
    set(OPENSSL_ROOT_DIR ${BW_WIN32_DEPS})
    set(OPENSSL_USE_STATIC_LIBS TRUE)
    find_package(OpenSSL REQUIRED)
    set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 user32 advapi32)
endif()
if(WIN32 AND BW_QT)
    # The session records' plain HTTP: cpp-httplib's single header (win32-deps.sh).
    pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
endif()
if(NOT WIN32)
    # CHvHttp's POSIX half (WinHTTP on Windows). cpp-httplib is a compiled
    # library in Debian: its users must be compiled with the flags of its
    # pkg-config file, or the class layout will not match.
    find_package(OpenSSL REQUIRED)
    pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
endif()
