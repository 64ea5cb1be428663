# cmake -DHOST=<value> [-DREPORT=ON] -P check-host.cmake: fails exactly when the build would
# refuse HOST.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ConfigHost.cmake)
installer_validate_config_host("${HOST}")
# With -DREPORT=ON it also prints what configure says about the address.
if(REPORT)
    installer_report_config_url("${HOST}")
endif()
