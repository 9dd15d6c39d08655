# Path placeholders and the machine identity, on a 64-bit and on a 32-bit Windows.
wayfarer_add_test(NAME config_tests SOURCES
    config/PathPlaceholdersTest.cpp
    config/MachineIdentityTest.cpp
    config/LocalPathTest.cpp
    PREFIXES win64 win32
    LOCKS machine_guid)
