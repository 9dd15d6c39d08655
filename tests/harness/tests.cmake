# The harness that runs every Windows test: tools/wine-run must hand ctest the program's own result and end with it.
add_executable(output_holder harness/output_holder.cpp)
target_link_options(output_holder PRIVATE -municode)
add_test(NAME wine_run_ends_with_program
         COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/wine_run_ends_with_program.sh" "${WAYFARER_WINE_RUN}"
                 $<TARGET_FILE:output_holder>)
set_tests_properties(wine_run_ends_with_program PROPERTIES TIMEOUT 300 LABELS "harness")
