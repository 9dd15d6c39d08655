# The size of what users download is part of the product: the stripped Release installer stays within the budget
# of cmake/SizeBudget.cmake. Other build types carry symbols or no size optimisation and are not measured.
if(CMAKE_BUILD_TYPE STREQUAL "Release")
    add_test(NAME installer_size
             COMMAND "${CMAKE_COMMAND}" "-DFILE=$<TARGET_FILE:wayfarer>" "-DBUDGET=${WAYFARER_SIZE_BUDGET}"
                     -P "${CMAKE_SOURCE_DIR}/cmake/CheckSize.cmake")
endif()
