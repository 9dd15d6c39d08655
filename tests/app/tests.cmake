wayfarer_add_test(NAME app_tests SOURCES
    app/ConfigurationManagerTest.cpp
    app/ImageTest.cpp
    app/NavigationTest.cpp
    app/WayfarerDlgTest.cpp
    # Pressing Next starts the main product, whose events go to the local backend.
    DISPLAY BACKEND SHIPPED LOCKS instance_mutex)

# The installer signed as a publisher's build signs it, with a certificate made by the test: the signature
# verifies and the signed program still starts. Needs the virtual display of tools/sandbox.sh.
add_test(NAME signed_installer
         COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/app/sign-stub-test.sh" $<TARGET_FILE:wayfarer>
                 "${CMAKE_BINARY_DIR}/tests/signed-installer" "${CMAKE_SOURCE_DIR}" $<TARGET_FILE:startup_timer>)
set_tests_properties(signed_installer PROPERTIES LABELS "win64;${WAYFARER_SHIPPED_LABEL}" TIMEOUT 300 RESOURCE_LOCK "instance_mutex;display_scale")
