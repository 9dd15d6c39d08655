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
