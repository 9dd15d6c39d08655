# Self-test of the local HTTPS backend that the Windows-side tests script. It starts its own instance on a free
# loopback port, so it needs neither the sandbox's backend nor Wine.
find_program(WAYFARER_PYTHON3 python3 REQUIRED)
add_test(NAME backend_selftest COMMAND "${WAYFARER_PYTHON3}" "${CMAKE_SOURCE_DIR}/tools/backend/test_backend.py")
set_tests_properties(backend_selftest PROPERTIES TIMEOUT 120 LABELS "backend")
