# Precompiled Qt headers for every Qt library, program and test.
#
# Most of a Qt file's compile time goes into reading the same Qt headers
# again; with them precompiled once, a file of src/ compiles in about half
# the time (the sanitizer builds of CI included). Two sets are built, one
# with the string checks of bw_qt_options and one without, because the
# headers read those macros; every other target takes the set whose macros
# match its own. GCC only: it checks that a precompiled header fits the
# file's options and, under -Winvalid-pch (an error with BW_WERROR), says so
# when it does not, so a mismatch cannot pass unseen. Clang (the fuzz build)
# rejects any difference in defines and compiles without them; cross builds
# (the Windows tree) compile without them too.
option(BW_PCH "Precompile the Qt headers (GCC)" ON)

set(BW_PCH_CORE_HEADERS
    <QObject> <QString> <QStringList> <QByteArray> <QVariant> <QList> <QVector> <QHash> <QMap>
    <QPointer> <QTimer> <QDateTime> <QDir> <QFile> <QFileInfo> <QCoreApplication>
    <QJsonObject> <QJsonArray> <QJsonDocument> <QJsonValue> <QLoggingCategory>)
set(BW_PCH_WIDGET_HEADERS <QWidget> <QLabel> <QPushButton> <QLayout> <QBoxLayout> <QApplication> <QPixmap> <QIcon>)
set(BW_PCH_STD_HEADERS <functional> <memory> <string> <vector> <map> <mutex> <thread> <atomic> <chrono>)

# <out> becomes every library <target> links, directly or through our own
# libraries (imported ones such as Qt5::Widgets are listed, not followed).
function(bw_link_closure target out)
    get_property(known GLOBAL PROPERTY "BW_LINK_CLOSURE_${target}" SET)
    if(known)
        get_property(result GLOBAL PROPERTY "BW_LINK_CLOSURE_${target}")
        set(${out} ${result} PARENT_SCOPE)
        return()
    endif()
    set_property(GLOBAL PROPERTY "BW_LINK_CLOSURE_${target}" "") # breaks cycles
    get_target_property(type ${target} TYPE)
    set(libraries)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(direct ${target} LINK_LIBRARIES)
        if(direct)
            list(APPEND libraries ${direct})
        endif()
    endif()
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    if(interface)
        list(APPEND libraries ${interface})
    endif()
    set(result)
    foreach(library IN LISTS libraries)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" library "${library}")
        list(APPEND result ${library})
        if(TARGET ${library} AND NOT library MATCHES "::")
            bw_link_closure(${library} sub)
            list(APPEND result ${sub})
        endif()
    endforeach()
    list(REMOVE_DUPLICATES result)
    set_property(GLOBAL PROPERTY "BW_LINK_CLOSURE_${target}" "${result}")
    set(${out} ${result} PARENT_SCOPE)
endfunction()

function(bw_collect_targets dir out)
    get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
    foreach(sub IN LISTS subdirs)
        bw_collect_targets("${sub}" more)
        list(APPEND targets ${more})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(bw_precompile_qt_headers)
    if(NOT BW_PCH OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR CMAKE_CROSSCOMPILING OR NOT TARGET Qt5::Widgets)
        return()
    endif()
    bw_collect_targets("${PROJECT_SOURCE_DIR}" targets)
    set(source "${PROJECT_BINARY_DIR}/generated/bw_pch.cpp")
    file(CONFIGURE OUTPUT "${source}" CONTENT "// The precompiled Qt headers' own file.\n")
    # A precompiled header fits a file only if every macro defined when it
    # was made is defined the same way for the file: each set is made with
    # the fewest Qt modules its users have in common.
    set(qt_core Qt5::Core)
    set(qt_widgets Qt5::Widgets)
    set(headers_core ${BW_PCH_CORE_HEADERS} ${BW_PCH_STD_HEADERS})
    set(headers_widgets ${BW_PCH_CORE_HEADERS} ${BW_PCH_WIDGET_HEADERS} ${BW_PCH_STD_HEADERS})
    foreach(level core widgets)
        foreach(flavour plain checked)
            set(donor bw_pch_${level}_${flavour})
            add_library(${donor} STATIC "${source}")
            set_target_properties(${donor} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
            target_link_libraries(${donor} PRIVATE bw_options ${qt_${level}})
            target_precompile_headers(${donor} PRIVATE ${headers_${level}})
            if(flavour STREQUAL "checked")
                target_link_libraries(${donor} PRIVATE bw_qt_options)
            endif()
        endforeach()
    endforeach()
    target_compile_options(bw_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Winvalid-pch>)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE|OBJECT_LIBRARY)$")
            continue()
        endif()
        get_target_property(pch ${target} PRECOMPILE_HEADERS)
        get_target_property(reuse ${target} PRECOMPILE_HEADERS_REUSE_FROM)
        if(pch OR reuse)
            continue()
        endif()
        # Not Qt, or built without the project's options (tools the build runs): none.
        bw_link_closure(${target} closure)
        if(NOT "bw_options" IN_LIST closure)
            continue()
        endif()
        set(level)
        foreach(library IN LISTS closure)
            if(library MATCHES "^Qt5::(Widgets|Svg|PrintSupport|Charts)$")
                set(level widgets)
                break()
            elseif(library MATCHES "^Qt5::")
                set(level core)
            endif()
        endforeach()
        if(NOT level)
            continue()
        endif()
        get_target_property(direct ${target} LINK_LIBRARIES)
        if(direct AND "bw_qt_options" IN_LIST direct)
            target_precompile_headers(${target} REUSE_FROM bw_pch_${level}_checked)
        else()
            target_precompile_headers(${target} REUSE_FROM bw_pch_${level}_plain)
        endif()
    endforeach()
endfunction()
