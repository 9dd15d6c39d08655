# Runs the configure-time rule on the URL given with -D, as the top-level CMakeLists.txt does.
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/RequireHttps.cmake")
wayfarer_require_https(WAYFARER_MAIN_DOWNLOAD_URL)
