# Packages read the machine GUID into their placeholders.
wayfarer_add_test(NAME package_tests SOURCES offers/PackageTest.cpp PREFIXES win64 win32 LOCKS hklm_stamp machine_guid)
wayfarer_add_test(NAME package_image_tests SOURCES offers/PackageImageTest.cpp BACKEND)
