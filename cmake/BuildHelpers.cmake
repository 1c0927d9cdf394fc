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

# What running the manager needs: the programs, the libraries and components
# it loads by file name, the tools and emulators the README's walk-throughs
# use and the driver packages. bw_run_needs(<target>...) names such a target
# beside its definition; the target bw_run (scripts/run.sh) builds exactly
# these and what they need, `all` builds tests and benchmarks too.
function(bw_run_needs)
    set_property(GLOBAL APPEND PROPERTY BW_RUN_TARGETS ${ARGN})
endfunction()

# bw_not_run(<target>...): a program or shared library outside tests/, bench/
# and fuzz/ that a run does not need (a build tool, the release variant).
function(bw_not_run)
    set_property(GLOBAL APPEND PROPERTY BW_NOT_RUN_TARGETS ${ARGN})
endfunction()

# The programs and shared libraries defined in folder dir and below it,
# except in the folders of tests, benchmarks and fuzz targets.
function(bw_collect_programs dir out)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
    set(found)
    if(NOT rel MATCHES "(^|/)(tests|bench|fuzz)(/|$)")
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target ${targets})
            get_target_property(type ${target} TYPE)
            if(type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
                list(APPEND found ${target})
            endif()
        endforeach()
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        foreach(sub ${subdirs})
            bw_collect_programs(${sub} below)
            list(APPEND found ${below})
        endforeach()
    endif()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

# Adds bw_run after every folder is configured. A program or shared library
# that neither bw_run_needs() nor bw_not_run() names stops the configure: left
# out of bw_run, it would be missing only when someone runs the manager.
function(bw_add_run_target)
    get_property(run GLOBAL PROPERTY BW_RUN_TARGETS)
    get_property(notRun GLOBAL PROPERTY BW_NOT_RUN_TARGETS)
    bw_collect_programs(${PROJECT_SOURCE_DIR} programs)
    set(unsorted)
    foreach(target ${programs})
        if(NOT target IN_LIST run AND NOT target IN_LIST notRun)
            list(APPEND unsorted ${target})
        endif()
    endforeach()
    if(unsorted)
        message(FATAL_ERROR "Say whether running the manager needs these programs or libraries "
            "(bw_run_needs or bw_not_run beside their definition): ${unsorted}")
    endif()
    foreach(target ${run})
        if(NOT TARGET ${target})
            message(FATAL_ERROR "bw_run_needs names ${target}, which is not a target")
        endif()
    endforeach()
    add_custom_target(bw_run)
    add_dependencies(bw_run ${run})
endfunction()
