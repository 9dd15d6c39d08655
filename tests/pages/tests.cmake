wayfarer_add_test(NAME pages_tests SOURCES
    pages/FrameHarnessTest.cpp
    pages/LanguagePageTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
# Download rules and the work folder: plain code, no backend.
wayfarer_add_test(NAME download_rules_tests SOURCES
    pages/DownloadUrlRulesTest.cpp
    pages/DownloadWorkFolderTest.cpp)
# The download pages in the real frame, with the stand-in installer served by the local backend.
wayfarer_add_test(NAME download_pages_tests SOURCES
    download/InstallerFixtures.cpp
    download/LaunchTesting.cpp
    pages/DownloadRunTesting.cpp
    pages/DownloadPageTest.cpp
    pages/DownloadFinishTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)
wayfarer_add_test(NAME loading_page_tests SOURCES
    pages/LoadingPageTest.cpp
    pages/LoadingFlowTest.cpp
    pages/dlm_documents.rc
    DISPLAY BACKEND SHIPPED LOCKS instance_mutex)
wayfarer_add_test(NAME reading_pages_tests SOURCES
    pages/ReadingPagesTest.cpp
    DISPLAY BACKEND LOCKS instance_mutex)

# The finish pages and the Sorrel flavour's pages; the finish pages start the stand-in installer for real. The
# Sorrel tests pass the loading page, which asks the backend for its configuration.
wayfarer_add_test(NAME ending_pages_tests SOURCES
    download/LaunchTesting.cpp
    pages/FinishPagesTest.cpp
    pages/SorrelPagesTest.cpp
    pages/dlm_documents.rc
    DISPLAY BACKEND LOCKS instance_mutex)
file(GLOB dlmDocuments CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/resources/lang/dlm_*.xml")
set_source_files_properties(pages/dlm_documents.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/resources/languages_dlm.rc;${dlmDocuments};${CMAKE_BINARY_DIR}/generated/BuildSettings.h")
# Hostile configuration answers served to the real frame: the pages after them, and a broken answer's end.
wayfarer_add_test(NAME hostile_answer_pages_tests SOURCES
    pages/HostileAnswerPagesTest.cpp
    pages/dlm_documents.rc
    DISPLAY BACKEND LOCKS instance_mutex)
# Every page by keyboard, at two display scales and for a screen reader. The scale test sets the scale of the
# prefix for a copy of itself and puts it back as soon as that copy has read it; the lock that every test with
# windows takes keeps them out meanwhile.
wayfarer_add_test(NAME access_tests SOURCES
    pages/AccessTest.cpp
    pages/ScaleTest.cpp
    DISPLAY LOCKS instance_mutex display_scale)
target_link_libraries(access_tests PRIVATE oleacc)
