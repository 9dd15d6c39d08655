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
    BACKEND)
