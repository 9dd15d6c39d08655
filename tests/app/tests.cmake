wayfarer_add_test(NAME app_tests SOURCES
    app/ConfigurationManagerTest.cpp
    app/ImageTest.cpp
    app/NavigationTest.cpp
    app/WayfarerDlgTest.cpp
    DISPLAY LOCKS instance_mutex)
