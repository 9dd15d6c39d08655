wayfarer_add_test(NAME app_tests SOURCES
    app/ConfigurationManagerTest.cpp
    app/ImageTest.cpp
    app/NavigationTest.cpp
    app/WayfarerDlgTest.cpp
    # Pressing Next starts the main product, whose events go to the local backend.
    DISPLAY BACKEND LOCKS instance_mutex)
