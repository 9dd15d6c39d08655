# Codecs, the request signature, the installer token and the OS version: no server needed.
wayfarer_add_test(NAME net_tests SOURCES
    net/CodecsTest.cpp
    net/ServerTextTest.cpp
    net/JitterTest.cpp
    net/ProxyRoutesTest.cpp
    net/SignatureTest.cpp
    net/InstallerTokenTest.cpp
    LOCKS machine_guid)

# The signed JSON client and the configuration request against the local backend.
wayfarer_add_test(NAME net_backend_tests SOURCES
    net/JsonPostTest.cpp
    net/ConfigurationRequestTest.cpp
    net/ProxyRouteRunTest.cpp
    BACKEND)

# The same rule through a real proxy: tools/with-proxy.sh starts squid around the program, in the sandbox's network.
wayfarer_add_test(NAME proxy_tests SOURCES net/ProxyServerTest.cpp PREFIXES none)
foreach(prefix IN LISTS WAYFARER_TEST_PREFIXES)
    if(prefix STREQUAL "win64")
        add_test(NAME proxy_tests.${prefix}
                 COMMAND "${CMAKE_SOURCE_DIR}/tools/with-proxy.sh" "${WAYFARER_WINE_RUN}" ${prefix} $<TARGET_FILE:proxy_tests>)
        set_tests_properties(proxy_tests.${prefix} PROPERTIES
            ENVIRONMENT "WAYFARER_PREFIX_KIND=${prefix}"
            LABELS "${prefix}"
            TIMEOUT 600
            RESOURCE_LOCK "backend;machine_guid")
    endif()
endforeach()
