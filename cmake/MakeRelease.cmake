# Script mode (cmake -P): stages the release files, writes the manifest of
# their SHA-256 sums, signs it with Ed25519 and zips everything.
#   OUT      the archive to write
#   STAGE    an empty folder to build it in
#   VERSION  the version the manifest names
#   KEY      the private key (PEM); OPENSSL the openssl tool
#   FILES    "name|source|x-or-dash" entries separated by ","
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
string(REPLACE "," ";" entries "${FILES}")
set(manifest "Brindlewick release 1\nversion ${VERSION}\n")
set(names "")
foreach(entry ${entries})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 name)
    list(GET fields 1 source)
    list(GET fields 2 mode)
    file(COPY_FILE ${source} ${STAGE}/${name})
    file(SHA256 ${STAGE}/${name} sum)
    file(SIZE ${STAGE}/${name} size)
    string(APPEND manifest "file ${sum} ${size} ${mode} ${name}\n")
    list(APPEND names ${name})
endforeach()
file(WRITE ${STAGE}/manifest.txt "${manifest}")
execute_process(COMMAND ${OPENSSL} pkeyutl -sign -rawin -inkey ${KEY} -in ${STAGE}/manifest.txt
    -out ${STAGE}/manifest.sig RESULT_VARIABLE signResult ERROR_VARIABLE signError)
if(NOT signResult EQUAL 0)
    message(FATAL_ERROR "cannot sign the release manifest: ${signError}")
endif()
get_filename_component(outDir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${outDir})
file(REMOVE ${OUT}.part)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT}.part --format=zip manifest.txt manifest.sig ${names}
    WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE zipResult)
if(NOT zipResult EQUAL 0)
    message(FATAL_ERROR "cannot write ${OUT}")
endif()
file(RENAME ${OUT}.part ${OUT})
file(REMOVE_RECURSE ${STAGE})
