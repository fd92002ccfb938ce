# Code signing in the build.
#
# Programs are signed with mavu-codesign as a POST_BUILD step. Unless a real identity is
# given, the build makes its own development CA and a code-signing leaf with the team
# QX3J8R2N5T, so the signed programs and the daemon agree out of the box:
#
#   MAVU_DEV_ANCHOR              the development CA (PEM), for tests and the demo
#   MAVU_DEV_SIGNING_CERT / _KEY the development leaf and its key
#   MAVU_ANCHOR                  the anchor matching the identity products are signed
#                                with: MAVU_SIGNING_ANCHOR if set, else MAVU_DEV_ANCHOR
#
# A real identity is given at configure time with the cache entries MAVU_SIGNING_CERT,
# MAVU_SIGNING_KEY, MAVU_SIGNING_CHAIN (optional) and MAVU_SIGNING_ANCHOR.
#
# Functions:
#   mavu_sign(<target> IDENTIFIER <id> [IDENTITY <name> | PRODUCT])
#       signs the target's output in place after each link.
#   mavu_signed_copy(<target> OUTPUT <file> IDENTIFIER <id> [IDENTITY <name> | PRODUCT])
#       after each link, copies the target's output to <file> and signs the copy.
#   Both sign with the development identity unless told otherwise: PRODUCT means the
#   product identity (the real one if configured), IDENTITY a test identity made by
#   mavu_signing_identity. Only the app and the daemon (whose identifier admits no
#   client) are products: the command-line client, the bench and the test clients must
#   never carry a signature an installed daemon accepts.
#   mavu_install_product(<target> IDENTIFIER <id> DESTINATION <dir>)
#       installs a product. Without a real identity, installing signs it again with a CA
#       made for that installation, whose keys are deleted right after (see
#       mavu_install_anchor), so no key left on the build machine signs clients that an
#       installed daemon accepts.
#   mavu_install_anchor(<file>)
#       installs the anchor the daemon trusts, as <file>: MAVU_SIGNING_ANCHOR, or the CA
#       of that installation. Called after every product's installation.
#   mavu_signing_ca(<name> [ISSUER <ca>])
#       a CA (self-signed, or issued by another); sets MAVU_CA_<name> to its PEM.
#   mavu_signing_identity(<name> TEAM <ou> [CA <ca>] [NOT_FOR_CODE])
#       a code-signing leaf with subject OU <ou> issued by CA <ca> (default: dev); sets
#       MAVU_IDENTITY_<name>_CERT and MAVU_IDENTITY_<name>_KEY. NOT_FOR_CODE makes an
#       e-mail certificate instead, which signatures must not be accepted from.
#
# Keys are EC P-256, made once per build tree and kept across reconfigures.

find_program(MAVU_OPENSSL openssl REQUIRED)
set(MAVU_SIGNING_DIR "${CMAKE_BINARY_DIR}/signing")
set(_mavu_signing_config "${MAVU_SIGNING_DIR}/openssl.cnf")

set(MAVU_SIGNING_CERT "" CACHE FILEPATH "Code-signing certificate (PEM) for the programs; empty: development identity")
set(MAVU_SIGNING_KEY "" CACHE FILEPATH "Private key (PEM) of MAVU_SIGNING_CERT")
set(MAVU_SIGNING_CHAIN "" CACHE FILEPATH "Intermediate certificates (PEM) carried in signatures")
set(MAVU_SIGNING_ANCHOR "" CACHE FILEPATH "Anchor certificate(s) (PEM) the installed daemon trusts")

file(MAKE_DIRECTORY "${MAVU_SIGNING_DIR}")
file(WRITE "${_mavu_signing_config}" [=[
[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[leaf_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[mail_leaf_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = emailProtection
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
]=])

function(_mavu_openssl)
    execute_process(COMMAND "${MAVU_OPENSSL}" ${ARGN}
        RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "openssl ${ARGN} failed:\n${errors}")
    endif()
endfunction()

function(_mavu_random_serial out)
    string(RANDOM LENGTH 15 ALPHABET 0123456789abcdef serial)
    set(${out} "0x1${serial}" PARENT_SCOPE)
endfunction()

# Makes <dir>/key.pem and <dir>/cert.pem unless they exist for the same inputs (subject,
# extensions and issuer certificate); a new issuer means a new certificate.
function(_mavu_make_certificate dir subject extensions issuer)
    if(issuer)
        file(SHA256 "${issuer}/cert.pem" issuer_hash)
    else()
        set(issuer_hash "self")
    endif()
    set(inputs "${subject}|${extensions}|${issuer_hash}")
    if(EXISTS "${dir}/cert.pem" AND EXISTS "${dir}/inputs")
        file(READ "${dir}/inputs" previous)
        if(previous STREQUAL inputs)
            return()
        endif()
    endif()
    file(MAKE_DIRECTORY "${dir}")
    file(REMOVE "${dir}/cert.pem" "${dir}/inputs")
    _mavu_openssl(genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "${dir}/key.pem")
    _mavu_random_serial(serial)
    if(issuer)
        _mavu_openssl(req -new -key "${dir}/key.pem" -config "${_mavu_signing_config}"
            -subj "${subject}" -out "${dir}/request.csr")
        _mavu_openssl(x509 -req -in "${dir}/request.csr" -CA "${issuer}/cert.pem"
            -CAkey "${issuer}/key.pem" -set_serial ${serial} -days 3650 -sha256
            -extfile "${_mavu_signing_config}" -extensions ${extensions} -out "${dir}/cert.pem")
    else()
        _mavu_openssl(req -x509 -new -key "${dir}/key.pem" -config "${_mavu_signing_config}"
            -extensions ${extensions} -subj "${subject}" -set_serial ${serial} -days 3650
            -sha256 -out "${dir}/cert.pem")
    endif()
    file(WRITE "${dir}/inputs" "${inputs}")
endfunction()

function(mavu_signing_ca name)
    cmake_parse_arguments(ARG "" "ISSUER" "" ${ARGN})
    set(issuer "")
    if(ARG_ISSUER)
        set(issuer "${MAVU_SIGNING_DIR}/ca-${ARG_ISSUER}")
        if(NOT EXISTS "${issuer}/cert.pem")
            message(FATAL_ERROR "mavu_signing_ca(${name}): no CA named ${ARG_ISSUER}")
        endif()
    endif()
    set(dir "${MAVU_SIGNING_DIR}/ca-${name}")
    _mavu_make_certificate("${dir}" "/O=MAVU Development/CN=MAVU ${name} CA" ca_ext "${issuer}")
    set(MAVU_CA_${name} "${dir}/cert.pem" PARENT_SCOPE)
endfunction()

function(mavu_signing_identity name)
    cmake_parse_arguments(ARG "NOT_FOR_CODE" "TEAM;CA" "" ${ARGN})
    if(NOT ARG_TEAM)
        message(FATAL_ERROR "mavu_signing_identity(${name}) needs TEAM")
    endif()
    if(NOT ARG_CA)
        set(ARG_CA dev)
    endif()
    if(NOT EXISTS "${MAVU_SIGNING_DIR}/ca-${ARG_CA}/cert.pem")
        mavu_signing_ca(${ARG_CA})
        set(MAVU_CA_${ARG_CA} "${MAVU_CA_${ARG_CA}}" PARENT_SCOPE)
    endif()
    set(extensions leaf_ext)
    if(ARG_NOT_FOR_CODE)
        set(extensions mail_leaf_ext)
    endif()
    set(dir "${MAVU_SIGNING_DIR}/identity-${name}")
    _mavu_make_certificate("${dir}"
        "/O=MAVU Development/OU=${ARG_TEAM}/CN=MAVU ${name} code signing" ${extensions}
        "${MAVU_SIGNING_DIR}/ca-${ARG_CA}")
    set(MAVU_IDENTITY_${name}_CERT "${dir}/cert.pem" PARENT_SCOPE)
    set(MAVU_IDENTITY_${name}_KEY "${dir}/key.pem" PARENT_SCOPE)
endfunction()

mavu_signing_ca(dev)
mavu_signing_identity(dev TEAM QX3J8R2N5T CA dev)
set(MAVU_DEV_ANCHOR "${MAVU_CA_dev}")
set(MAVU_DEV_SIGNING_CERT "${MAVU_IDENTITY_dev_CERT}")
set(MAVU_DEV_SIGNING_KEY "${MAVU_IDENTITY_dev_KEY}")

if(MAVU_SIGNING_CERT)
    if(NOT MAVU_SIGNING_KEY OR NOT MAVU_SIGNING_ANCHOR)
        message(FATAL_ERROR "MAVU_SIGNING_CERT needs MAVU_SIGNING_KEY and MAVU_SIGNING_ANCHOR")
    endif()
    set(MAVU_ANCHOR "${MAVU_SIGNING_ANCHOR}")
else()
    set(MAVU_ANCHOR "${MAVU_DEV_ANCHOR}")
endif()

# The mavu-codesign options that select an identity.
function(_mavu_identity_options out identity)
    if(identity)
        set(dir "${MAVU_SIGNING_DIR}/identity-${identity}")
        if(NOT EXISTS "${dir}/cert.pem")
            message(FATAL_ERROR "No signing identity named ${identity}: make it with mavu_signing_identity")
        endif()
        set(options --cert "${dir}/cert.pem" --key "${dir}/key.pem")
    elseif(MAVU_SIGNING_CERT)
        set(options --cert "${MAVU_SIGNING_CERT}" --key "${MAVU_SIGNING_KEY}")
        if(MAVU_SIGNING_CHAIN)
            list(APPEND options --chain "${MAVU_SIGNING_CHAIN}")
        endif()
    else()
        set(options --cert "${MAVU_DEV_SIGNING_CERT}" --key "${MAVU_DEV_SIGNING_KEY}")
    endif()
    set(${out} ${options} PARENT_SCOPE)
endfunction()

# The identity a signing function was asked for: a named one, the product's, or dev.
function(_mavu_requested_identity out product identity)
    if(identity)
        set(${out} "${identity}" PARENT_SCOPE)
    elseif(product)
        set(${out} "" PARENT_SCOPE)
    else()
        set(${out} dev PARENT_SCOPE)
    endif()
endfunction()

function(mavu_sign target)
    cmake_parse_arguments(ARG "PRODUCT" "IDENTIFIER;IDENTITY" "" ${ARGN})
    if(NOT ARG_IDENTIFIER)
        message(FATAL_ERROR "mavu_sign(${target}) needs IDENTIFIER")
    endif()
    _mavu_requested_identity(identity "${ARG_PRODUCT}" "${ARG_IDENTITY}")
    _mavu_identity_options(options "${identity}")
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND $<TARGET_FILE:mavu-codesign> sign --identifier ${ARG_IDENTIFIER} ${options}
            $<TARGET_FILE:${target}>
        COMMENT "Signing ${target} as ${ARG_IDENTIFIER}"
        VERBATIM)
    add_dependencies(${target} mavu-codesign)
endfunction()

function(mavu_signed_copy target)
    cmake_parse_arguments(ARG "PRODUCT" "OUTPUT;IDENTIFIER;IDENTITY" "" ${ARGN})
    if(NOT ARG_OUTPUT OR NOT ARG_IDENTIFIER)
        message(FATAL_ERROR "mavu_signed_copy(${target}) needs OUTPUT and IDENTIFIER")
    endif()
    _mavu_requested_identity(identity "${ARG_PRODUCT}" "${ARG_IDENTITY}")
    _mavu_identity_options(options "${identity}")
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${ARG_OUTPUT}
        COMMAND $<TARGET_FILE:mavu-codesign> sign --identifier ${ARG_IDENTIFIER} ${options}
            ${ARG_OUTPUT}
        COMMENT "Signing a copy of ${target} as ${ARG_IDENTIFIER}"
        VERBATIM)
    add_dependencies(${target} mavu-codesign)
endfunction()

function(mavu_install_product target)
    cmake_parse_arguments(ARG "" "IDENTIFIER;DESTINATION" "" ${ARGN})
    if(NOT ARG_IDENTIFIER OR NOT ARG_DESTINATION)
        message(FATAL_ERROR "mavu_install_product(${target}) needs IDENTIFIER and DESTINATION")
    endif()
    install(TARGETS ${target} DESTINATION ${ARG_DESTINATION})
    set_property(GLOBAL APPEND PROPERTY MAVU_INSTALLED_PRODUCTS
        "${ARG_DESTINATION}/$<TARGET_FILE_NAME:${target}>=${ARG_IDENTIFIER}")
endfunction()

function(mavu_install_anchor file)
    get_filename_component(dir "${file}" DIRECTORY)
    get_filename_component(name "${file}" NAME)
    if(MAVU_SIGNING_CERT)
        install(FILES "${MAVU_SIGNING_ANCHOR}" DESTINATION "${dir}" RENAME "${name}")
        return()
    endif()
    get_property(products GLOBAL PROPERTY MAVU_INSTALLED_PRODUCTS)
    string(REPLACE ";" "|" products "${products}")
    install(CODE "execute_process(COMMAND \"${CMAKE_COMMAND}\"
        \"-DOPENSSL=${MAVU_OPENSSL}\" \"-DCONFIG=${_mavu_signing_config}\"
        \"-DCODESIGN=$<TARGET_FILE:mavu-codesign>\" \"-DROOT=\$ENV{DESTDIR}\"
        \"-DPRODUCTS=${products}\" \"-DANCHOR=${file}\"
        -P \"${PROJECT_SOURCE_DIR}/cmake/SignInstallation.cmake\"
        COMMAND_ERROR_IS_FATAL ANY)")
endfunction()
