# Cross build of the same sources for 64-bit Windows (posix thread model). The installer ships as a 32-bit program;
# this build exists so that the tests can run under Wine on a machine whose kernel runs no 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
