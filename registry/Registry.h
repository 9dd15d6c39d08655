// Tests and reads of registry keys and values named by text, for the offer rules. Existence tests answer
// false for anything missing or unreadable; reads raise win32::RegistryError with the failing status.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "registry/RegistryError.h"
#include "registry/RegistryPaths.h"
#include "win32/Handle.h"

namespace registry {

// Opens `subkey` of `parent` with `access`; an invalid key when it cannot be opened.
win32::RegKey OpenKey(HKEY parent, const std::wstring& subkey, REGSAM access);

// The names of the key's direct subkeys, lower-cased, in index order.
std::vector<std::wstring> EnumerateSubkeys(HKEY key);

// Whether the key holds a value of this name, of any type. False on any failure.
bool ValueExists(HKEY key, const std::wstring& valueName);

// The REG_* type of the value, 0 when it cannot be read.
DWORD GetValueType(HKEY key, const std::wstring& valueName);

// The REG_SZ value `valueName` of `subkey` below `key` (both may be empty), without its terminator.
std::wstring ReadString(HKEY key, const std::wstring& subkey, const std::wstring& valueName);

// Whether the value's data equals `expected`: a REG_SZ lower-cased and compared as text, a REG_DWORD or
// REG_QWORD as a number (an `expected` that is not one raises std::invalid_argument or std::out_of_range).
// Any other type never matches. Read failures raise RegistryError.
bool ValueDataMatches(DWORD type, HKEY key, const std::wstring& valueName, const std::wstring& expected);

// Key tests and value reads of one evaluation run. Keys under HKLM and HKCU "software" are first looked up in
// a listing of that "software" key, made once per hive and view, so that a probe for a vendor that is not
// installed costs no registry call at all.
class RegistryAccess {
public:
    explicit RegistryAccess(bool useSubkeyCache = true, bool windows64 = Is64BitWindows());

    // Whether the key of a full (lower-case) path exists, in the view its path selects.
    bool KeyExists(const std::wstring& fullPath);

    // Reads the value `valueName` of root\keyPath (on a 64-bit Windows also of root\software\wow6432node\... when
    // the key path begins with "software") as text: a REG_SZ as it stands, a REG_DWORD or REG_QWORD in decimal.
    // False when no candidate key holds a value of one of these types.
    bool ReadValueAsText(const std::wstring& root,
                         const std::wstring& keyPath,
                         const std::wstring& valueName,
                         std::wstring& text);

    bool Windows64() const { return m_windows64; }

private:
    // hive\software in one view, opened once per run, and the lower-case names of its subkeys.
    struct SoftwareKey {
        win32::RegKey key;
        std::unordered_set<std::wstring> subkeys;
    };

    // The listing of hive\software in this view, made on first use; null when that key cannot be listed.
    const SoftwareKey* FindSoftwareKey(HKEY hive, REGSAM view);

    bool m_useSubkeyCache;
    bool m_windows64;
    std::map<std::pair<HKEY, REGSAM>, SoftwareKey> m_softwareKeys;
};

}  // namespace registry
