# The dry-run program (tools/explain) run as a publisher runs it: answers from files and from the backend,
# against registry keys and files the test sets in the prefix.
wayfarer_add_test(NAME explain_tests SOURCES explain/ExplainTest.cpp BACKEND SHIPPED LOCKS hklm_stamp)
add_dependencies(explain_tests wayfarer_explain)
