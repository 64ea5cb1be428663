# Whole installs with the network build on the field bed (tests/field, which defines
# installer_add_field_test and the INSTALLER_FIELD_* variables; without that area, none).
if(NOT COMMAND installer_add_field_test)
    return()
endif()

# The store host reached through a proxy only: the network build and the default one.
set(store_url_source ${CMAKE_CURRENT_BINARY_DIR}/config_url_store.cpp)
installer_write_config_url(${store_url_source}
                           "${INSTALLER_FIELD_STORE_HOST}:${INSTALLER_FIELD_STORE_PORT}")
add_library(config_url_store OBJECT ${store_url_source})
foreach(program installer-test-store installer-test-field-store)
    add_executable(${program} WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp
                                    ${PROJECT_SOURCE_DIR}/app/installer.rc)
    target_link_libraries(${program} PRIVATE installer_app status_window config_url_store
                          system_library)
    target_link_options(${program} PRIVATE ${INSTALLER_UNICODE_ENTRY_OPTION}
                        ${INSTALLER_WORKER_STACK_LINK_OPTION} ${INSTALLER_STRIP_OPTION})
endforeach()
target_link_libraries(installer-test-field-store PRIVATE net_field)

# The keyed test installer (see CMakeLists.txt) with the network build's transfers.
add_executable(installer-test-keyed-field WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp
                                                ${PROJECT_SOURCE_DIR}/app/installer.rc)
target_link_libraries(installer-test-keyed-field PRIVATE installer_app status_window config_url_test
                      system_library install_signature_keyed package_keys_test net_field)
target_link_options(installer-test-keyed-field PRIVATE ${INSTALLER_UNICODE_ENTRY_OPTION}
                    ${INSTALLER_WORKER_STACK_LINK_OPTION} ${INSTALLER_STRIP_OPTION})

add_executable(e2e-field-tests e2e_fixture.cpp field_install_test.cpp)
target_link_libraries(e2e-field-tests PRIVATE installer_driver shell gtest_checked_main)
add_dependencies(e2e-field-tests installer-test installer-test-field installer-test-store
                 installer-test-field-store installer-test-keyed-field sample-package rich-package bsdtar)

set(field_cases
    TheStoreThroughTheUsersProxy
    TheDefaultBuildConnectsDirectlyAndFailsWhereOnlyAProxyLeads
    AProxyThatAsksForCredentials
    ACancelledPromptOrThreeWrongPasswordsFailTheTransfer
    APackageDownloadThatBreaksResumesFromTheBytesOnDisk
    APackageReplacedBetweenAttemptsIsDownloadedAgainWhole
    AKeyedBuildVerifiesAPackageThatWasCutAndStartedOver
    ACutOnEveryAttemptFailsAfterFiveAndLeavesNothing
    AThrottledPackageMovesTheBarFromFiftyTowardsSixty
    ClosingTheWindowDuringARetryWaitEndsAtOnce)
foreach(case ${field_cases})
    set(name e2e.FieldInstallTest.${case})
    installer_add_field_test(NAME ${name} COMMAND e2e-field-tests
                             --gtest_filter=FieldInstallTest.${case})
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED test_server)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT ${e2e_environment}
                 "INSTALLER_FIELD_TEST_PROGRAM=$<TARGET_FILE:installer-test-field>"
                 "INSTALLER_FIELD_STORE_PROGRAM=$<TARGET_FILE:installer-test-field-store>"
                 "INSTALLER_DEFAULT_STORE_PROGRAM=$<TARGET_FILE:installer-test-store>"
                 "INSTALLER_KEYED_FIELD_TEST_PROGRAM=$<TARGET_FILE:installer-test-keyed-field>")
    set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK config_document)
    installer_use_real_tar(${name})
endforeach()

# The network build calls more of WININET, all of it delay-loaded from the system folder.
add_dependencies(e2e-tests installer-test-field)
set(case PlantingTest.AWininetDllBesideTheInstallerIsNeverLoaded)
installer_add_wine_test(NAME e2e.${case}.Field COMMAND e2e-tests --gtest_filter=${case} SERVER)
set_property(TEST e2e.${case}.Field APPEND PROPERTY ENVIRONMENT ${e2e_environment}
             INSTALLER_DLL_OVERRIDES=wininet=n,b
             "INSTALLER_TEST_PROGRAM=$<TARGET_FILE:installer-test-field>")
set_tests_properties(e2e.${case}.Field PROPERTIES RESOURCE_LOCK config_document)
installer_use_real_tar(e2e.${case}.Field)
