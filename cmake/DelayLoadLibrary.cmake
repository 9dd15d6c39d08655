# Writes a delay-load import library for one system DLL from mingw-w64's ordinary import library of it: the
# same functions, bound when the program first calls one of them instead of when it starts.
# cmake -DIMPORT_LIBRARY=<lib.a> -DOUTPUT=<lib_delay.a> -DNM=<nm> -DDLLTOOL=<dlltool> [-DSYMBOL_PREFIX=_]
#       -P DelayLoadLibrary.cmake
# SYMBOL_PREFIX is the decoration of C names in the import library: "_" for 32-bit x86, none for x86-64.
execute_process(COMMAND "${DLLTOOL}" --identify "${IMPORT_LIBRARY}" OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${NM}" "${IMPORT_LIBRARY}" OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
# Each function of the DLL is a code symbol of the import library: "00000000 T _Name@8" (32-bit stdcall), "_Name",
# or "0000000000000000 T Name" (x86-64).
string(REGEX MATCHALL "[0-9a-f]+ T ${SYMBOL_PREFIX}[^\n]+" entries "${symbols}")
set(exports "")
foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^[0-9a-f]+ T ${SYMBOL_PREFIX}" "" name "${entry}")
    list(APPEND exports "${name}")
endforeach()
list(REMOVE_DUPLICATES exports)
list(JOIN exports "\n" lines)
get_filename_component(folder "${OUTPUT}" DIRECTORY)
set(def "${OUTPUT}.def")
file(WRITE "${def}" "LIBRARY ${dll}\nEXPORTS\n${lines}\n")
execute_process(COMMAND "${DLLTOOL}" --kill-at --input-def "${def}" --dllname "${dll}" --output-delaylib "${OUTPUT}"
                WORKING_DIRECTORY "${folder}" COMMAND_ERROR_IS_FATAL ANY)
