# cmake -DFIELD=<cache variable> (-DVALUE=<text> | -DHEX=<bytes in hex>) -DOUT=<file>
#       -P check-version-field.cmake
# Fails exactly when configure would refuse that value for the version resource; HEX carries
# bytes that a test's command line cannot.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/VersionStrings.cmake)
if(DEFINED HEX)
    set(VALUE "")
    string(REGEX MATCHALL ".." pairs "${HEX}")
    foreach(pair IN LISTS pairs)
        math(EXPR code "0x${pair}")
        string(ASCII ${code} byte)
        string(APPEND VALUE "${byte}")
    endforeach()
endif()
set(${FIELD} "${VALUE}")
installer_write_version_strings("${OUT}")
