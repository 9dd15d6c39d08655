wayfarer_add_test(NAME pages_tests SOURCES
    pages/LanguagePageTest.cpp
    DISPLAY LOCKS instance_mutex)
