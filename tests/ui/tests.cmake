wayfarer_add_test(NAME link_tests SOURCES ui/LinkTest.cpp DISPLAY)
