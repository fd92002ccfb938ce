# Run by `cmake --install` when no real signing identity is configured: makes a CA and a
# code-signing leaf for this installation alone, signs the installed products with them,
# installs the CA as the daemon's anchor and deletes both keys, so nothing can sign
# another client that this installation's daemon accepts.
#
#   -DOPENSSL=openssl -DCONFIG=<openssl.cnf with leaf_ext and ca_ext>
#   -DCODESIGN=<mavu-codesign> -DROOT=<DESTDIR or empty>
#   -DPRODUCTS=<dir>/<file>=<identifier>|...   -DANCHOR=<installed anchor path>

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        file(REMOVE_RECURSE "${keys}")
        message(FATAL_ERROR "${ARGN} failed:\n${errors}")
    endif()
endfunction()

string(RANDOM LENGTH 12 ALPHABET 0123456789abcdef tag)
set(temporary "$ENV{TMPDIR}")
if(NOT temporary)
    set(temporary /tmp)
endif()
set(keys "${temporary}/mavu-installation-keys-${tag}")
file(MAKE_DIRECTORY "${keys}")
file(CHMOD "${keys}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

string(TIMESTAMP when "%Y-%m-%d %H:%M:%S" UTC)
run("${OPENSSL}" genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "${keys}/ca.key")
run("${OPENSSL}" req -x509 -new -key "${keys}/ca.key" -config "${CONFIG}" -extensions ca_ext
    -subj "/O=MAVU/CN=MAVU installation ${tag} (${when})" -set_serial 0x1${tag} -days 36500
    -sha256 -out "${keys}/ca.pem")
run("${OPENSSL}" genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "${keys}/leaf.key")
run("${OPENSSL}" req -new -key "${keys}/leaf.key" -config "${CONFIG}"
    -subj "/O=MAVU/OU=QX3J8R2N5T/CN=MAVU installation ${tag} code signing" -out "${keys}/leaf.csr")
run("${OPENSSL}" x509 -req -in "${keys}/leaf.csr" -CA "${keys}/ca.pem" -CAkey "${keys}/ca.key"
    -set_serial 0x2${tag} -days 36500 -sha256 -extfile "${CONFIG}" -extensions leaf_ext
    -out "${keys}/leaf.pem")

set(signed 0)
string(REPLACE "|" ";" products "${PRODUCTS}")
foreach(product IN LISTS products)
    string(REGEX MATCH "^(.*)=([^=]*)$" ignored "${product}")
    run("${CODESIGN}" sign --identifier "${CMAKE_MATCH_2}" --cert "${keys}/leaf.pem"
        --key "${keys}/leaf.key" "${ROOT}${CMAKE_MATCH_1}")
    math(EXPR signed "${signed} + 1")
endforeach()

get_filename_component(anchorDir "${ROOT}${ANCHOR}" DIRECTORY)
file(MAKE_DIRECTORY "${anchorDir}")
file(COPY_FILE "${keys}/ca.pem" "${ROOT}${ANCHOR}")
file(CHMOD "${ROOT}${ANCHOR}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(REMOVE_RECURSE "${keys}")
message(STATUS "Signed ${signed} program(s) with a CA made for this installation; "
    "installed it as ${ROOT}${ANCHOR} and deleted its keys")
