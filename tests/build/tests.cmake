# The size of what users download is part of the product: the stripped Release installer, the 32-bit program users
# get, stays within the budget of cmake/SizeBudget.cmake. Other build types carry symbols or no size optimisation,
# and other architectures are builds for testing only: they are not measured.
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME installer_size
             COMMAND "${CMAKE_COMMAND}" "-DFILE=$<TARGET_FILE:wayfarer>" "-DBUDGET=${WAYFARER_SIZE_BUDGET}"
                     -P "${CMAKE_SOURCE_DIR}/cmake/CheckSize.cmake")
endif()
