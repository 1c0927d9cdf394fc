# The signed release archives (docs/self-update.md):
#   build/release/BrindlewickInstall.zip       this build's version
#   build/release-next/BrindlewickInstall.zip  the same program as a newer version
# The newer variant is the executable BrindlewickNext: the manager's libraries
# linked with another ProgramVersion object, so it costs one link, not a
# second build. Each archive holds the program folder's files, a manifest of
# their SHA-256 sums and its Ed25519 signature made with the build's key
# (cmake/ReleaseKey.cmake).
include(${PROJECT_SOURCE_DIR}/cmake/ReleaseKey.cmake)

string(REPLACE "." ";" bwVersionParts "${PROJECT_VERSION}")
list(GET bwVersionParts 0 bwMajor)
list(GET bwVersionParts 1 bwMinor)
list(GET bwVersionParts 2 bwPatch)
list(GET bwVersionParts 3 bwTweak)
math(EXPR bwNextPatch "${bwPatch} + 1")
set(BW_NEXT_VERSION "${bwMajor}.${bwMinor}.${bwNextPatch}.${bwTweak}" CACHE INTERNAL "")

add_executable(BrindlewickNext ${PROJECT_SOURCE_DIR}/src/app/main.cpp
    ${PROJECT_SOURCE_DIR}/src/update/NextProgramVersion.cpp $<TARGET_OBJECTS:bw_resources>)
target_compile_definitions(BrindlewickNext PRIVATE BW_NEXT_VERSION="${BW_NEXT_VERSION}")
target_link_libraries(BrindlewickNext PRIVATE bw_app bw_options bw_qt_options)
set_target_properties(BrindlewickNext PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/release-bin WIN32_EXECUTABLE ON)
# Built for the release archive only (cmake --build build --target release-archive).
bw_not_run(BrindlewickNext)

# The program folder: the manager, its service, the libraries it loads from
# its own folder, the firmware upgraders, the remote tool and the upgrader.
# Emulators, tests, benchmarks and the driver packages' own libraries are not
# part of it. "name|target|x" (x: a program, its executable bit restored).
set(bwReleaseFiles
    "BrindlewickService|BrindlewickService|x"
    "libMT7628Config.so|MT7628Config|-"
    "libHttpsServer.so|HttpsServer|-"
    "ClientRemote.so|ClientRemote|-"
    "ServerRemote.so|ServerRemote|-"
    "LocalServerRemote.so|LocalServerRemote|-"
    "VirtualNetLoopback|VirtualNetLoopback|x"
    "7628_upgrade|7628_upgrade|x"
    "app_upgrade|app_upgrade|x"
    "can_upgrade|can_upgrade|x"
    "Upgrade2|Upgrade2|x")
set(bwFileArgs "")
set(bwFileTargets "")
foreach(entry ${bwReleaseFiles})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 name)
    list(GET fields 1 target)
    list(GET fields 2 mode)
    # Targets of folders configured later are fine here: generator expressions.
    list(APPEND bwFileArgs "${name}|$<TARGET_FILE:${target}>|${mode}")
    list(APPEND bwFileTargets ${target})
endforeach()
string(REPLACE ";" "," bwFileList "${bwFileArgs}")

set(BW_RELEASE_ARCHIVE ${CMAKE_BINARY_DIR}/release/BrindlewickInstall.zip CACHE INTERNAL "")
set(BW_RELEASE_NEXT_ARCHIVE ${CMAKE_BINARY_DIR}/release-next/BrindlewickInstall.zip CACHE INTERNAL "")
foreach(variant "current" "next")
    if(variant STREQUAL "current")
        set(out ${BW_RELEASE_ARCHIVE})
        set(version ${PROJECT_VERSION})
        set(program $<TARGET_FILE:Brindlewick>)
        set(programTarget Brindlewick)
    else()
        set(out ${BW_RELEASE_NEXT_ARCHIVE})
        set(version ${BW_NEXT_VERSION})
        set(program $<TARGET_FILE:BrindlewickNext>)
        set(programTarget BrindlewickNext)
    endif()
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DSTAGE=${CMAKE_BINARY_DIR}/release-stage/${variant}
            -DVERSION=${version} -DKEY=${BW_RELEASE_PRIVATE_KEY} -DOPENSSL=${BW_OPENSSL_TOOL}
            "-DFILES=Brindlewick|${program}|x,${bwFileList}"
            -P ${PROJECT_SOURCE_DIR}/cmake/MakeRelease.cmake
        DEPENDS ${programTarget} ${bwFileTargets} ${PROJECT_SOURCE_DIR}/cmake/MakeRelease.cmake
        COMMENT "Signed release archive ${version}: ${out}"
        VERBATIM)
    list(APPEND bwReleaseOutputs ${out})
endforeach()
add_custom_target(release-archive DEPENDS ${bwReleaseOutputs})
