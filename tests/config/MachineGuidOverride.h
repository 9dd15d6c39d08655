// Test helper: changes HKLM\SOFTWARE\Microsoft\Cryptography "MachineGuid" in one registry view of the test's
// own Wine prefix and puts the previous state back when it goes out of scope. Tests that use it take the
// "machine_guid" lock, since other tests read the value.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class MachineGuidOverride {
public:
    // `view` is KEY_WOW64_64KEY or KEY_WOW64_32KEY; on 32-bit Windows both name the only view.
    explicit MachineGuidOverride(REGSAM view = KEY_WOW64_64KEY) : m_view(view) {
        HKEY key = Open();
        if (key == nullptr)
            return;
        DWORD size = 0;
        if (::RegQueryValueExW(key, L"MachineGuid", nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_saved.resize(size);
            m_hadValue =
                ::RegQueryValueExW(key, L"MachineGuid", nullptr, &m_type, m_saved.data(), &size) == ERROR_SUCCESS;
            m_saved.resize(size);
        }
        ::RegCloseKey(key);
    }

    ~MachineGuidOverride() {
        HKEY key = Open();
        if (key == nullptr)
            return;
        if (m_hadValue)
            ::RegSetValueExW(key, L"MachineGuid", 0, m_type, m_saved.data(), static_cast<DWORD>(m_saved.size()));
        else
            ::RegDeleteValueW(key, L"MachineGuid");
        ::RegCloseKey(key);
    }

    MachineGuidOverride(const MachineGuidOverride&) = delete;
    MachineGuidOverride& operator=(const MachineGuidOverride&) = delete;

    // Writes `value` as REG_SZ; true on success.
    bool Set(const std::string& value) const {
        HKEY key = Open();
        if (key == nullptr)
            return false;
        LONG result = ::RegSetValueExA(key, "MachineGuid", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1));
        ::RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }

    // Removes the value; true when it is absent afterwards.
    bool Remove() const {
        HKEY key = Open();
        if (key == nullptr)
            return false;
        LONG result = ::RegDeleteValueW(key, L"MachineGuid");
        ::RegCloseKey(key);
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }

private:
    HKEY Open() const {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, nullptr, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE | m_view, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return nullptr;
        return key;
    }

    REGSAM m_view;
    bool m_hadValue = false;
    DWORD m_type = REG_SZ;
    std::vector<BYTE> m_saved;
};
