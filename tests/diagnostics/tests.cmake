# The run log's sink: its file, its lines, the logs it keeps, and a folder it cannot write.
wayfarer_add_test(NAME run_log_tests SOURCES diagnostics/RunLogTest.cpp)
