// Registry key paths as the server writes them ("hklm\software\vendor\app", or just "vendor\app") turned into
// full paths of real keys, and the 32-/64-bit view each of them lives in. Plain text rules, no registry access;
// the flag `windows64` says whether this 32-bit process runs on a 64-bit Windows.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace registry {

// True when this 32-bit process runs on a 64-bit Windows, asked once per process.
bool Is64BitWindows();

// The view this installer, a 32-bit program, opens a key in when nothing else selects one. A 64-bit build of
// the same sources (the test build where no 32-bit code can run) asks for that view explicitly, so that it reads
// and writes the keys the product does.
#ifdef _WIN64
constexpr REGSAM kProcessView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kProcessView = 0;
#endif

// Lower-cases character by character (towlower), as every path and name comparison of the rules expects.
std::wstring LowerCase(std::wstring text);

// The full paths a (lower-case) path may name: itself when it begins with a hive name, the hive's full name
// for an abbreviation, otherwise the path under HKLM and HKCU "software" and, on a 64-bit Windows, under their
// "software\wow6432node" as well. Empty for an empty path.
std::vector<std::wstring> ExpandKeyPath(const std::wstring& path, bool windows64 = Is64BitWindows());

// Chooses the view of a full path under a "software" prefix: an explicit "wow6432node" segment is removed
// (into `removed`) and reaches the same keys through this process's own 32-bit view; any other key under
// "software" is read in the 64-bit view of a 64-bit Windows. True when the key cannot exist on this machine
// (a "wow6432node" path on a 32-bit Windows). Paths outside "software" are left as they are, in this
// process's own view.
bool ResolveRegistryView(std::wstring& path, std::wstring& removed, REGSAM& flags, bool windows64 = Is64BitWindows());

// (hive name, subkey), split at the first backslash; the subkey is empty when there is none.
std::pair<std::wstring, std::wstring> SplitKeyPath(const std::wstring& fullPath);

// The predefined key of a lower-case hive name. A name outside the table is an error of the data and raises
// std::out_of_range.
HKEY HiveHandle(const std::wstring& hiveName);

}  // namespace registry
