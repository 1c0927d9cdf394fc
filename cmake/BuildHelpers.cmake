# Small functions the folders of the build share.

# Adds every sub-folder of the current folder that has a CMakeLists.txt, in
# name order, but those named after EXCEPT: a new part of the build needs no
# line anywhere else.
function(bw_add_subfolders)
    cmake_parse_arguments(ARG "" "" "EXCEPT" ${ARGN})
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    if(ARG_EXCEPT)
        list(REMOVE_ITEM children ${ARG_EXCEPT})
    endif()
    foreach(child ${children})
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()

# A library that a driver package or another program loads at run time by
# file name: no "lib" prefix, no build path inside, only its exports visible,
# next to the programs in bin/, and the static libraries inside kept private.
function(bw_loadable_library target)
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        SKIP_BUILD_RPATH ON
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    if(NOT WIN32)
        target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
    endif()
endfunction()
