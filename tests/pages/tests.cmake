wayfarer_add_test(NAME pages_tests SOURCES
    pages/LanguagePageTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
