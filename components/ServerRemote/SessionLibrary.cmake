# Included by the three session libraries' folders (in whichever order they
# are added): the shared support library and the helper that builds each.
include_guard(GLOBAL)

# What the three session libraries share (relay directory, relay link, handle
# bookkeeping).
add_library(bw_remote_session STATIC ${CMAKE_CURRENT_LIST_DIR}/session/SessionSupport.h ${CMAKE_CURRENT_LIST_DIR}/session/SessionSupport.cpp)
target_include_directories(bw_remote_session PUBLIC ${CMAKE_CURRENT_LIST_DIR}/session)
target_link_libraries(bw_remote_session PUBLIC bw_options bw_remote_link bw_remote_api
    PRIVATE bw_hvhttp bw_buildconfig bw_blocks bw_platform)
set_target_properties(bw_remote_session PROPERTIES POSITION_INDEPENDENT_CODE ON)

# bw_add_session_library(<name> <sources>...): a shared library with exactly
# the exports of RemoteApi.h, named without "lib" in build/bin, whose static
# parts stay private to it.
function(bw_add_session_library name)
    add_library(${name} SHARED ${ARGN})
    target_link_libraries(${name} PRIVATE bw_options bw_remote_session)
    bw_loadable_library(${name})
    bw_run_needs(${name})
endfunction()

