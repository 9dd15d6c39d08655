# Signs one program with osslsigncode (Authenticode, SHA-256), in place: the build's post-build step for the
# installer when a certificate and key are given, and the test that signs a copy with a test certificate.
# cmake -DINPUT=<exe> -DCERT=<certificates.pem> -DKEY=<key.pem> [-DTIMESTAMP_URL=<url>] [-DDESCRIPTION=<text>]
#       [-DOSSLSIGNCODE=<path>] -P SignInstaller.cmake
if(NOT OSSLSIGNCODE)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
endif()
set(arguments sign -certs "${CERT}" -key "${KEY}" -h sha256)
if(DESCRIPTION)
    list(APPEND arguments -n "${DESCRIPTION}")
endif()
if(TIMESTAMP_URL)
    # An RFC 3161 time stamp keeps the signature valid after the certificate expires.
    list(APPEND arguments -ts "${TIMESTAMP_URL}")
endif()
set(signed "${INPUT}.signed")
file(REMOVE "${signed}")
execute_process(COMMAND "${OSSLSIGNCODE}" ${arguments} -in "${INPUT}" -out "${signed}" COMMAND_ERROR_IS_FATAL ANY)
file(RENAME "${signed}" "${INPUT}")
