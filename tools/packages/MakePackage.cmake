# One driver package: cmake -DPACKAGE= -DMAKE= -DVERSION= -DPRODUCT= -DSERVER=
#   -DSERVER_PROGRAM= -DLIBRARIES=a,b -DSTAGE= -DOUTPUT= -P MakePackage.cmake
# LIBRARIES: the files copied in as they are (libraries, and the pass-thru
# package's header). Stages the files in STAGE and zips them (fixed time
# stamps, so the same sources give the same archive and the same SHA-256).
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(WRITE ${STAGE}/manifest.json "{
  \"make\": \"${MAKE}\",
  \"package\": \"${PACKAGE}\",
  \"product\": \"${PRODUCT}\",
  \"version\": \"${VERSION}\",
  \"server\": \"${SERVER}\"
}
")
set(files manifest.json)
string(REPLACE "," ";" LIBRARIES "${LIBRARIES}")
foreach(library ${LIBRARIES})
    get_filename_component(name ${library} NAME)
    file(COPY ${library} DESTINATION ${STAGE})
    list(APPEND files ${name})
endforeach()
if(SERVER)
    # On Windows the program keeps its ".exe"; elsewhere the process name is the file name without it.
    string(REGEX REPLACE "\\.exe$" "" serverFile "${SERVER}")
    if(SERVER_PROGRAM MATCHES "\\.exe$")
        set(serverFile ${SERVER})
    endif()
    file(COPY ${SERVER_PROGRAM} DESTINATION ${STAGE}/tmp)
    get_filename_component(name ${SERVER_PROGRAM} NAME)
    file(RENAME ${STAGE}/tmp/${name} ${STAGE}/${serverFile})
    file(REMOVE_RECURSE ${STAGE}/tmp)
    list(APPEND files ${serverFile})
endif()
get_filename_component(outDir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${outDir})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT}.part --format=zip "--mtime=2026-01-01 00:00:00 UTC"
        -- ${files}
    WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    file(REMOVE ${OUTPUT}.part)
    message(FATAL_ERROR "cannot zip ${OUTPUT}: ${rc}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
# Older versions of the same package go.
file(GLOB older ${outDir}/${PACKAGE}_*.zip)
list(REMOVE_ITEM older ${OUTPUT})
if(older)
    file(REMOVE ${older})
endif()
