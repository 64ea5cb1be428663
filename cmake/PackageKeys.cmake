# The publisher's keys that an installer trusts: 1 to 4 EC P-256 public keys in PEM
# (SubjectPublicKeyInfo, as `openssl ec -pubout` writes them). Each is checked here and compiled
# in as its 64-byte point X‖Y with its key id. Empty: the installer checks no signature.
#
# Also runs as a script, for keys that exist only at build time:
#   cmake -DPACKAGE_KEYS=a.pem;b.pem -DPACKAGE_KEYS_OUTPUT=out.cpp -P cmake/PackageKeys.cmake
if(NOT CMAKE_SCRIPT_MODE_FILE)
    set(INSTALLER_PACKAGE_KEYS "" CACHE STRING
        "EC P-256 public keys (PEM files, separated by ;) whose signatures the installer requires")
endif()
set(InstallerPackageKeysMost 4)
# SubjectPublicKeyInfo of id-ecPublicKey on prime256v1 up to the uncompressed point's 04, in
# base64: 27 bytes, so the point's own base64 starts right after it.
set(InstallerP256KeyPrefix "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE")

# Checks the key in file (a path already made absolute) and sets <out>_POINT (128 hex digits)
# and <out>_ID (16 hex digits); fails configuration with what is wrong otherwise.
function(installer_read_package_key file work out)
    if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
        message(FATAL_ERROR "INSTALLER_PACKAGE_KEYS: ${file} does not exist or is not a file")
    endif()
    file(READ "${file}" text LIMIT 65536)  # fails configuration when it cannot be read
    if(text MATCHES "PRIVATE KEY-----")
        message(FATAL_ERROR "INSTALLER_PACKAGE_KEYS: ${file} holds a private key: give its "
                            "public half (openssl ec -in KEY.pem -pubout -out KEY.pub.pem) and "
                            "keep the private key off the build machine")
    endif()
    find_program(INSTALLER_OPENSSL openssl)
    if(NOT INSTALLER_OPENSSL)
        message(FATAL_ERROR "INSTALLER_PACKAGE_KEYS needs the openssl program to read the keys")
    endif()
    # openssl reads the PEM and checks the point is on its curve; the output is normalised to
    # the uncompressed form.
    execute_process(COMMAND "${INSTALLER_OPENSSL}" ec -pubin -in "${file}" -pubout
                            -conv_form uncompressed
                    RESULT_VARIABLE failed OUTPUT_VARIABLE pem ERROR_VARIABLE why)
    if(failed)
        string(STRIP "${why}" why)
        message(FATAL_ERROR "INSTALLER_PACKAGE_KEYS: ${file} is not a PEM EC public key "
                            "(-----BEGIN PUBLIC KEY-----): openssl says: ${why}")
    endif()
    string(REGEX REPLACE "-----[A-Z ]+-----|[\r\n]" "" base64 "${pem}")
    string(LENGTH "${base64}" length)
    string(FIND "${base64}" "${InstallerP256KeyPrefix}" prefixAt)
    if(NOT prefixAt EQUAL 0 OR NOT length EQUAL 124)
        message(FATAL_ERROR "INSTALLER_PACKAGE_KEYS: ${file} is not an EC P-256 public key: "
                            "the installer takes P-256 keys only (openssl ecparam -name "
                            "prime256v1 -genkey)")
    endif()
    # The point's bytes through openssl's base64 decoder: CMake cannot write binary bytes.
    string(SUBSTRING "${base64}" 36 -1 pointBase64)
    file(WRITE "${work}.b64" "${pointBase64}\n")
    execute_process(COMMAND "${INSTALLER_OPENSSL}" base64 -d -A -in "${work}.b64" -out "${work}.bin"
                    RESULT_VARIABLE failed)
    file(SIZE "${work}.bin" size)
    if(failed OR NOT size EQUAL 64)
        message(FATAL_ERROR "INSTALLER_PACKAGE_KEYS: cannot take the point out of ${file}")
    endif()
    file(READ "${work}.bin" point HEX)
    file(SHA256 "${work}.bin" digest)
    file(REMOVE "${work}.b64" "${work}.bin")
    string(SUBSTRING "${digest}" 0 16 id)
    set(${out}_POINT "${point}" PARENT_SCOPE)
    set(${out}_ID "${id}" PARENT_SCOPE)
endfunction()

# Checks keys (a list of PEM files; relative paths are taken from the source folder) and writes
# the source file that defines TrustedPackageKeys() with them.
function(installer_write_package_keys output keys)
    list(LENGTH keys count)
    if(count EQUAL 0 OR count GREATER InstallerPackageKeysMost)
        message(FATAL_ERROR "INSTALLER_PACKAGE_KEYS names ${count} keys: give 1 to "
                            "${InstallerPackageKeysMost} PEM files separated by ;")
    endif()
    set(entries "")
    set(points "")
    set(files "")
    set(index 0)
    foreach(key IN LISTS keys)
        get_filename_component(file "${key}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
        list(APPEND files "${file}")
        installer_read_package_key("${file}" "${output}.key${index}" key)
        list(FIND points "${key_POINT}" same)
        if(NOT same EQUAL -1)
            list(GET keys ${same} first)
            message(FATAL_ERROR "INSTALLER_PACKAGE_KEYS: ${key} is the same key as ${first}")
        endif()
        list(APPEND points "${key_POINT}")
        string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${key_POINT}")
        string(REGEX REPLACE ",$" "" bytes "${bytes}")
        get_filename_component(name "${file}" NAME)
        string(APPEND entries "        {\"${key_ID}\", {${bytes}}},  // ${name}\n")
        math(EXPR index "${index} + 1")
    endforeach()
    file(CONFIGURE OUTPUT "${output}" @ONLY CONTENT [=[
// Generated by cmake/PackageKeys.cmake; do not edit.
#include "signature/trusted_keys.h"

std::vector<PackageKey> TrustedPackageKeys() {
    return {
@entries@    };
}
]=])
    if(NOT CMAKE_SCRIPT_MODE_FILE)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${files})
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED PACKAGE_KEYS_OUTPUT)
    installer_write_package_keys("${PACKAGE_KEYS_OUTPUT}" "${PACKAGE_KEYS}")
endif()
