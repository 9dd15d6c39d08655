# Fails when FILE is larger than BUDGET bytes; prints both either way.
# Usage: cmake -DFILE=<path> -DBUDGET=<bytes> -P CheckSize.cmake
file(SIZE "${FILE}" size)
get_filename_component(name "${FILE}" NAME)
math(EXPR headroom "${BUDGET} - ${size}")
message(STATUS "${name}: ${size} bytes, budget ${BUDGET} bytes, headroom ${headroom} bytes")
if(size GREATER BUDGET)
    message(FATAL_ERROR "${name} is ${size} bytes, over its budget of ${BUDGET} bytes")
endif()
