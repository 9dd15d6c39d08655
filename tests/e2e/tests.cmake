# The whole run of each flavour's installer against the local backend, walked by tools/win/wizard_driver.cpp.
# This build's installer is tested as e2e_tests.win64; the other flavours' (built by tools/test.sh in their
# preset folders) as e2e_tests.<flavour>.
wayfarer_add_test(NAME e2e_tests SOURCES
    download/LaunchTesting.cpp
    pages/DownloadRunTesting.cpp
    e2e/WholeRunTest.cpp
    e2e/RunLogTest.cpp
    DISPLAY BACKEND SHIPPED LOCKS instance_mutex)
target_compile_definitions(e2e_tests PRIVATE WAYFARER_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(e2e_tests wizard_driver)
if(WAYFARER_WIZARD_TYPE STREQUAL "DLM")
    set(thisFlavour dlm)
elseif(WAYFARER_SORREL_FLAVOUR)
    set(thisFlavour isv-sorrel)
elseif(WAYFARER_BRAND_FLAVOUR)
    set(thisFlavour isv-brand)
else()
    set(thisFlavour isv-nobrand)
endif()
set_property(TEST e2e_tests.win64 APPEND PROPERTY ENVIRONMENT "WAYFARER_E2E_FLAVOUR=${thisFlavour}")
set(WAYFARER_FLAVOUR_BUILD_SUFFIX "" CACHE STRING "Suffix of the other flavours' build folders (-x64 for the x64 presets)")
foreach(flavour IN ITEMS isv-nobrand:build-nobrand${WAYFARER_FLAVOUR_BUILD_SUFFIX}
                         isv-sorrel:build-sorrel${WAYFARER_FLAVOUR_BUILD_SUFFIX} dlm:build-dlm${WAYFARER_FLAVOUR_BUILD_SUFFIX})
    string(REPLACE ":" ";" parts "${flavour}")
    list(GET parts 0 name)
    list(GET parts 1 folder)
    if(name STREQUAL thisFlavour)
        continue()
    endif()
    add_test(NAME e2e_tests.${name} COMMAND "${WAYFARER_WINE_RUN}" win64 $<TARGET_FILE:e2e_tests>)
    set_tests_properties(e2e_tests.${name} PROPERTIES
        ENVIRONMENT "WAYFARER_INSTALLER_EXE=Z:$<TARGET_FILE:wayfarer>;WAYFARER_PREFIX_KIND=win64;WAYFARER_FAKE_INSTALLER_EXE=Z:$<TARGET_FILE:fake_installer>;WAYFARER_E2E_FLAVOUR=${name};WAYFARER_E2E_INSTALLER=Z:${CMAKE_SOURCE_DIR}/${folder}/QuarvelSetup.exe"
        LABELS "win64;e2e;${WAYFARER_SHIPPED_LABEL}"
        TIMEOUT 600
        RESOURCE_LOCK "backend;instance_mutex;display_scale")
endforeach()
