# Registry access and the presence rules, against the real registry and files of both prefix kinds. The tests
# write under vendor keys of their own, the Internet Explorer version and the browser's folders: one at a time.
wayfarer_add_test(NAME registry_tests SOURCES
    registry/RegistryPathsTest.cpp
    registry/RegistryTest.cpp
    PREFIXES win64 win32
    LOCKS registry_vendor)
wayfarer_add_test(NAME presence_tests SOURCES
    offers/PresenceChecksTest.cpp
    PREFIXES win64 win32
    LOCKS registry_vendor)
# The same refusals as the analytics endpoint receives them from a loading run.
wayfarer_add_test(NAME presence_event_tests SOURCES
    offers/PresenceEventsTest.cpp
    PREFIXES win64 win32
    BACKEND
    LOCKS registry_vendor)
