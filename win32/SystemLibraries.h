// Where the process takes its libraries from: System32 alone. The installer runs as administrator from the folder
// the browser saved it in, where any web page or program the user runs can leave a file; a library found there, in
// the current folder or on PATH would run with the installer's rights.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// Limits every later search for a library, the system's own loads on our behalf included, to System32, and makes
// the delay-loaded libraries come from there by full path. Windows 7 without the update that brought the search
// limit gets the closest it has: no current folder, and the libraries the system loads for us loaded first by
// full path. Called first thing in the process; true when the limit itself is in force.
bool RestrictLibrarySearch();

// The full path of `name` in System32 (in the 32-bit one a 32-bit process sees); empty for a name that is not a
// plain file name.
std::wstring SystemLibraryPath(const wchar_t* name);

// Loads `name` from System32 by full path, its own dependencies from there too; null when it is not there or does
// not load. Never searches anywhere else.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace win32
