# Build settings that name where an installer that will be run comes from must be https: whoever sits on the way
# of a cleartext answer could replace the installer.
function(wayfarer_require_https name)
    string(TOLOWER "${${name}}" url)
    if(url MATCHES "^http://")
        message(FATAL_ERROR "${name} must be an https URL, not \"${${name}}\"")
    endif()
endfunction()
