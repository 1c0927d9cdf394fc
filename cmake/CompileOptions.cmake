# One interface target that carries the project's compile options; every
# target of the project links it instead of setting flags of its own.
add_library(bw_options INTERFACE)
target_compile_features(bw_options INTERFACE cxx_std_17)
target_compile_options(bw_options INTERFACE -Wall -Wextra)
if(BW_WERROR)
    target_compile_options(bw_options INTERFACE -Werror)
endif()
# BW_SANITIZE: ON (or "address") for AddressSanitizer with
# UndefinedBehaviorSanitizer, "thread" for ThreadSanitizer (see docs/fuzzing.md).
# Sanitizer and fuzz builds keep line tables only (-g1): reports still name
# files and lines, and the builds compile and link markedly faster.
if(BW_SANITIZE OR BW_FUZZ)
    target_compile_options(bw_options INTERFACE -g1)
endif()
if(BW_SANITIZE STREQUAL "thread")
    target_compile_options(bw_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(bw_options INTERFACE -fsanitize=thread)
    # GCC warns that it cannot check std::atomic_thread_fence; the fences stay
    # for the other builds and the warning would fail -Werror here.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(bw_options INTERFACE -Wno-tsan)
    endif()
elseif(BW_SANITIZE)
    target_compile_options(bw_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(bw_options INTERFACE -fsanitize=address,undefined)
endif()

# BW_FUZZ (clang only): every library is instrumented for libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz/ programs add the
# fuzzer's main when they link.
option(BW_FUZZ "Build the fuzz targets in fuzz/ (clang)" OFF)
if(BW_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "BW_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    target_compile_options(bw_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(bw_options INTERFACE -fsanitize=address,undefined)
endif()
# GNU gold (part of binutils) links our programs, with their debug information
# and sanitizer run-times, in about half the time of the default linker; every
# build and CI stage links some 150 programs and libraries. BW_LINKER=default
# keeps the compiler's own choice. GCC builds only: with clang's
# AddressSanitizer run-time (the fuzz build) gold warns on every link.
set(BW_LINKER "gold" CACHE STRING "The linker for ELF builds with GCC: gold or default")
if(NOT WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND BW_LINKER STREQUAL "gold"
   AND CMAKE_VERSION VERSION_GREATER_EQUAL 3.18)
    include(CheckLinkerFlag)
    check_linker_flag(CXX "-fuse-ld=gold" BW_HAVE_GOLD)
    if(BW_HAVE_GOLD)
        add_link_options(-fuse-ld=gold)
    endif()
endif()
if(WIN32)
    target_compile_definitions(bw_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 UNICODE _UNICODE)
    if(BW_QT AND CMAKE_SIZEOF_VOID_P EQUAL 4)
        # 32-bit mingw unwinds with DWARF tables that each module registers at
        # start with "the" libgcc: with libgcc_s_dw2-1.dll in the process (Qt's
        # DLLs need it) a module linked with a static libgcc registers its
        # tables with the DLL yet throws through its own copy, which then
        # finds no handler and aborts at the first exception, caught or not.
        # So everything that runs in the manager's folder uses the DLL; the
        # J2534 library, which other programs load from there, keeps its own
        # (BW_STATIC_RUNTIME).
        set(bw_static "$<BOOL:$<TARGET_PROPERTY:BW_STATIC_RUNTIME>>")
        target_link_options(bw_options INTERFACE "$<IF:${bw_static},-static,-shared-libgcc>"
            "$<$<NOT:${bw_static}>:-static-libstdc++>")
    else()
        target_link_options(bw_options INTERFACE -static)
    endif()
endif()

# bw_is_target(<var> <target>...): <var> becomes a generator expression that is
# 1 when the target being compiled is one of those named, else 0.
function(bw_is_target var)
    set(tests)
    foreach(target ${ARGN})
        list(APPEND tests "$<STREQUAL:$<TARGET_PROPERTY:NAME>,${target}>")
    endforeach()
    if(tests)
        string(JOIN "," tests ${tests})
        set(${var} "$<OR:${tests}>" PARENT_SCOPE)
    else()
        set(${var} 0 PARENT_SCOPE)
    endif()
endfunction()

# Targets whose sources are being rewritten; they build without the checks
# below until they are clean (the open findings are listed with the work that
# introduced the checks). Remove a target here once it builds with them.
set(BW_SHADOW_PENDING)
set(BW_QT_CHECKS_PENDING)

# A local or parameter that hides a member or an outer name reads like one
# thing and is another.
bw_is_target(bw_shadow_pending ${BW_SHADOW_PENDING})
target_compile_options(bw_options INTERFACE $<$<NOT:${bw_shadow_pending}>:-Wshadow>)

# Qt's string safety for our own Qt code: no implicit conversion between
# QString and 8-bit strings (every literal says its encoding: QStringLiteral,
# QLatin1String, QString::fromUtf8 or tr()), no narrowing argument conversions
# in connect(), and QStringBuilder for concatenation. Every Qt library and
# program links it PRIVATE, so the defines never leak into their users. Tests
# and benchmarks do not link it: they build strings from literals freely.
add_library(bw_qt_options INTERFACE)
bw_is_target(bw_qt_checks_pending ${BW_QT_CHECKS_PENDING})
target_compile_definitions(bw_qt_options INTERFACE
    $<$<NOT:${bw_qt_checks_pending}>:QT_NO_CAST_FROM_ASCII>
    $<$<NOT:${bw_qt_checks_pending}>:QT_NO_CAST_TO_ASCII>
    $<$<NOT:${bw_qt_checks_pending}>:QT_NO_NARROWING_CONVERSIONS_IN_CONNECT>
    $<$<NOT:${bw_qt_checks_pending}>:QT_USE_QSTRINGBUILDER>)
