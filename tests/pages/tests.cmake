wayfarer_add_test(NAME pages_tests SOURCES
    pages/LanguagePageTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
# Download rules and the work folder: plain code, no backend.
wayfarer_add_test(NAME download_rules_tests SOURCES
    pages/DownloadUrlRulesTest.cpp
    pages/DownloadWorkFolderTest.cpp)
