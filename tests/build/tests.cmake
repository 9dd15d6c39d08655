# The size of what users download is part of the product: the stripped Release installer, the 32-bit program users
# get, stays within the budget of cmake/SizeBudget.cmake. Other build types carry symbols or no size optimisation:
# they are not measured. The x86-64 test build measures the 32-bit installer that tools/test.sh builds into build/
# beside it, so that the size is checked on machines that cannot run 32-bit code too.
if(WAYFARER_X64_TEST_BUILD)
    set(measuredInstaller "${CMAKE_SOURCE_DIR}/build/QuarvelSetup.exe")
elseif(CMAKE_BUILD_TYPE STREQUAL "Release" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(measuredInstaller "$<TARGET_FILE:wayfarer>")
endif()
if(DEFINED measuredInstaller)
    add_test(NAME installer_size
             COMMAND "${CMAKE_COMMAND}" "-DFILE=${measuredInstaller}" "-DBUDGET=${WAYFARER_SIZE_BUDGET}"
                     -P "${CMAKE_SOURCE_DIR}/cmake/CheckSize.cmake")
    set_tests_properties(installer_size PROPERTIES LABELS "build")
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

# The installer as the build finishes it (cmake/FinishImage.py): the commit's time as its link time, a checksum that
# matches, its load configuration asking for System32 alone, no import but the known system libraries, and no path
# of the machine that built it, so that every clone of a commit gives the same bytes.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    find_package(Python3 COMPONENTS Interpreter REQUIRED)
    add_test(NAME installer_image
             COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/cmake/FinishImage.py" --check
                     "$<TARGET_FILE:wayfarer>" "${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}" "${CMAKE_BINARY_DIR}")
    set_tests_properties(installer_image PROPERTIES LABELS "build")
endif()
