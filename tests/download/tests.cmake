# Installer and image downloads against the local backend.
wayfarer_add_test(NAME download_tests SOURCES
    download/DownloadTesting.cpp
    download/DownloadFileTest.cpp
    download/FileNameTest.cpp
    download/DownloadToMemoryTest.cpp
    download/InstallerFixtures.cpp
    download/InstallerCheckTest.cpp
    download/HostileAnswerTest.cpp
    download/TransferRulesTest.cpp
    download/BackoffTest.cpp
    download/RetryTest.cpp
    BACKEND)

# Installer launch: every run starts the stand-in installer (tools/win/fake_installer.cpp) under Wine.
wayfarer_add_test(NAME launch_tests SOURCES
    download/DownloadTesting.cpp
    download/LaunchTesting.cpp
    download/LaunchTest.cpp
    download/LaunchComOwnersTest.cpp
    PREFIXES win64 win32)

# The names a download is kept under in the user's folder: plain rules, no backend.
wayfarer_add_test(NAME saved_name_tests SOURCES
    download/SavedNameTest.cpp)
