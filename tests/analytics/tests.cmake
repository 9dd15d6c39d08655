wayfarer_add_test(NAME event_tests SOURCES analytics/EventTest.cpp BACKEND)
