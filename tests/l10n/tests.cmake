wayfarer_add_test(NAME l10n_tests SOURCES
    l10n/LanguageCatalogTest.cpp
    l10n/documents.rc
    DISPLAY)
# The broken documents the catalog's failure paths read, and the DLM documents an ISV build leaves out.
file(GLOB dlmDocuments CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/resources/lang/dlm_*.xml")
set_source_files_properties(l10n/documents.rc PROPERTIES
    INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}/documents"
    OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/documents/empty.xml;${CMAKE_CURRENT_LIST_DIR}/documents/broken.xml;${CMAKE_CURRENT_LIST_DIR}/documents/nul_first.xml;${CMAKE_CURRENT_LIST_DIR}/documents/no_locale.xml;${CMAKE_SOURCE_DIR}/resources/languages_dlm.rc;${dlmDocuments};${CMAKE_BINARY_DIR}/generated/BuildSettings.h")

# The user's locale is fixed when a Wine process starts, from the Unix locale variables (the prefix's registry
# value is rewritten from them), so each locale is one run of the same program with LC_ALL set.
# WAYFARER_USER_LOCALE names the locale the run must see.
wayfarer_add_test(NAME user_locale_tests SOURCES l10n/UserLocaleTest.cpp l10n/documents.rc DISPLAY BACKEND LOCKS instance_mutex)
set_property(TEST user_locale_tests.win64 APPEND PROPERTY ENVIRONMENT "LC_ALL=en_US.UTF-8;WAYFARER_USER_LOCALE=en-US")
foreach(locale es_ES de_DE en_GB pt_BR)
    string(REPLACE "_" "-" windowsLocale ${locale})
    add_test(NAME user_locale_tests.${locale}.win64
             COMMAND "${WAYFARER_WINE_RUN}" win64 $<TARGET_FILE:user_locale_tests>)
    set_tests_properties(user_locale_tests.${locale}.win64 PROPERTIES
        ENVIRONMENT "LC_ALL=${locale}.UTF-8;WAYFARER_USER_LOCALE=${windowsLocale};WAYFARER_PREFIX_KIND=win64"
        LABELS win64
        TIMEOUT 600
        RESOURCE_LOCK "instance_mutex;backend;machine_guid")
endforeach()
