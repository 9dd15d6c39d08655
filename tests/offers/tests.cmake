# Packages read the machine GUID into their placeholders.
wayfarer_add_test(NAME package_tests SOURCES offers/PackageTest.cpp PREFIXES win64 win32 LOCKS hklm_stamp machine_guid)
wayfarer_add_test(NAME package_image_tests SOURCES offers/PackageImageTest.cpp BACKEND)
wayfarer_add_test(NAME offer_rules_tests SOURCES offers/OfferRulesTest.cpp PREFIXES win64 win32 BACKEND)
wayfarer_add_test(NAME loading_tests SOURCES offers/LoadingPipelineTest.cpp offers/EventRecordTest.cpp BACKEND)
# Runs itself a second time as Windows 7 through Wine's per-program version setting.
wayfarer_add_test(NAME os_version_tests SOURCES offers/OsVersionTest.cpp)
# Malformed and hostile configuration answers through the loading run, and a few seconds of mutated ones.
wayfarer_add_test(NAME bad_answer_tests SOURCES offers/BadAnswerTest.cpp BACKEND)
wayfarer_add_test(NAME transport_retry_tests SOURCES offers/TransportRetryTest.cpp BACKEND)
