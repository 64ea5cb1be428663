# cmake -DHOST=<value> -P check-host.cmake: fails exactly when the build would refuse HOST.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ConfigHost.cmake)
installer_validate_config_host("${HOST}")
