wayfarer_add_test(NAME pages_tests SOURCES
    pages/LanguagePageTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
wayfarer_add_test(NAME reading_pages_tests SOURCES
    pages/ReadingPagesTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
