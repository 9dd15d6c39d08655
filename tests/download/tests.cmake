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

# The names a download is kept under in the user's folder, and the rules for names and addresses the program did
# not choose: plain rules, no backend.
wayfarer_add_test(NAME saved_name_tests SOURCES
    download/SavedNameTest.cpp
    download/PathRulesTest.cpp)

# The hash and signer checks of a finished download. The signed programs are made before the run with openssl
# and osslsigncode (make-signed-fixtures.sh), under a test CA that only the test itself trusts in its prefix.
wayfarer_add_test(NAME installer_trust_tests SOURCES download/InstallerTrustTest.cpp PREFIXES win64 win32)
set(signedFixtures "${CMAKE_BINARY_DIR}/tests/signed-fixtures")
add_test(NAME installer_trust_fixtures
         COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/download/make-signed-fixtures.sh" "${signedFixtures}"
                 $<TARGET_FILE:fake_installer>)
set_tests_properties(installer_trust_fixtures PROPERTIES FIXTURES_SETUP signed_fixtures)
foreach(prefix IN LISTS WAYFARER_TEST_PREFIXES)
    set_property(TEST installer_trust_tests.${prefix} APPEND PROPERTY ENVIRONMENT
                 "WAYFARER_SIGNED_FIXTURES=Z:${signedFixtures}")
    set_tests_properties(installer_trust_tests.${prefix} PROPERTIES FIXTURES_REQUIRED signed_fixtures)
endforeach()
