# The size of what users download is part of the product: the stripped Release installer, the 32-bit program users
# get, stays within the budget of cmake/SizeBudget.cmake. Other build types carry symbols or no size optimisation,
# and other architectures are builds for testing only: they are not measured.
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME installer_size
             COMMAND "${CMAKE_COMMAND}" "-DFILE=$<TARGET_FILE:wayfarer>" "-DBUDGET=${WAYFARER_SIZE_BUDGET}"
                     -P "${CMAKE_SOURCE_DIR}/cmake/CheckSize.cmake")
endif()

# Configure-time checks of the build settings, run as CMake scripts: no compiler, no Wine.
foreach(case "http://a.test/setup|1" "HTTP://a.test/setup|1" "Http://a.test/setup|1" "https://a.test/setup|0"
             "HTTPS://a.test/setup|0")
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 url)
    list(GET parts 1 refused)
    string(MAKE_C_IDENTIFIER "${url}" id)
    add_test(NAME "build_settings_main_url_${id}"
             COMMAND "${CMAKE_COMMAND}" "-DWAYFARER_MAIN_DOWNLOAD_URL=${url}"
                     -P "${CMAKE_CURRENT_LIST_DIR}/RequireHttpsCheck.cmake")
    set_tests_properties("build_settings_main_url_${id}" PROPERTIES WILL_FAIL ${refused} LABELS "build")
endforeach()
