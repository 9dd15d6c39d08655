# Path placeholders and the machine identity, on a 64-bit and on a 32-bit Windows.
wayfarer_add_test(NAME config_tests SOURCES
    config/PathPlaceholdersTest.cpp
    config/MachineIdentityTest.cpp
    config/LocalPathTest.cpp
    PREFIXES win64 win32
    LOCKS machine_guid)
# The work folder's deletion, with the deletions it leaves for the reboot read back from the registry.
wayfarer_add_test(NAME work_folder_tests SOURCES config/WorkFolderTest.cpp)
