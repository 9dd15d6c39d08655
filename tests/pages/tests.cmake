wayfarer_add_test(NAME pages_tests SOURCES
    pages/LanguagePageTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
# Download rules and the work folder: plain code, no backend.
wayfarer_add_test(NAME download_rules_tests SOURCES
    pages/DownloadUrlRulesTest.cpp
    pages/DownloadWorkFolderTest.cpp)
# The download pages in the real frame, with the stand-in installer served by the local backend.
wayfarer_add_test(NAME download_pages_tests SOURCES
    download/LaunchTesting.cpp
    pages/DownloadRunTesting.cpp
    pages/DownloadPageTest.cpp
    pages/DownloadFinishTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
wayfarer_add_test(NAME loading_page_tests SOURCES
    pages/LoadingPageTest.cpp
    pages/LoadingFlowTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
wayfarer_add_test(NAME reading_pages_tests SOURCES
    pages/ReadingPagesTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)

# The finish pages and the Sorrel flavour's pages; the finish pages start the stand-in installer for real. The
# Sorrel tests pass the loading page, which asks the backend for its configuration.
wayfarer_add_test(NAME ending_pages_tests SOURCES
    download/LaunchTesting.cpp
    pages/FinishPagesTest.cpp
    pages/SorrelPagesTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
