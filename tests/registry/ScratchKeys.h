// Registry keys and values of one test, under a vendor key of the test's own in HKLM and HKCU "Software" (both
// views), all removed when the fixture goes away, whether the test passed or not.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registry/RegistryPaths.h"
#include "win32/Handle.h"

namespace scratch {

constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kView64 = KEY_WOW64_64KEY;

// The kind of prefix ctest runs this test in, as the test machinery names it.
inline bool Is64BitPrefix() {
    const char* kind = std::getenv("WAYFARER_PREFIX_KIND");
    return kind != nullptr && std::string(kind) == "win64";
}

class ScratchKeys {
public:
    explicit ScratchKeys(std::wstring vendor) : m_vendor(std::move(vendor)) { RemoveAll(); }
    ~ScratchKeys() { RemoveAll(); }
    ScratchKeys(const ScratchKeys&) = delete;
    ScratchKeys& operator=(const ScratchKeys&) = delete;

    const std::wstring& Vendor() const { return m_vendor; }

    // "Software\<vendor>\<below>" (or the vendor key itself for an empty `below`).
    std::wstring Path(const std::wstring& below = L"") const {
        return L"Software\\" + m_vendor + (below.empty() ? L"" : L"\\" + below);
    }

    // Creates Software\<vendor>\<below> in one view.
    void CreateKey(HKEY hive, REGSAM view, const std::wstring& below) const { Open(hive, view, Path(below)); }

    // Writes a value of any type with exactly these bytes (so a string may be stored without its terminator).
    void SetRaw(HKEY hive,
                REGSAM view,
                const std::wstring& below,
                const std::wstring& name,
                DWORD type,
                const void* data,
                DWORD size) const {
        win32::RegKey key = Open(hive, view, Path(below));
        ASSERT_EQ(::RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    void SetString(HKEY hive,
                   REGSAM view,
                   const std::wstring& below,
                   const std::wstring& name,
                   const std::wstring& text) const {
        SetRaw(hive, view, below, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void SetDword(HKEY hive, REGSAM view, const std::wstring& below, const std::wstring& name, DWORD value) const {
        SetRaw(hive, view, below, name, REG_DWORD, &value, sizeof(value));
    }
    void SetQword(HKEY hive,
                  REGSAM view,
                  const std::wstring& below,
                  const std::wstring& name,
                  std::uint64_t value) const {
        SetRaw(hive, view, below, name, REG_QWORD, &value, sizeof(value));
    }

    // The same in both views of both hives, for rules that must not depend on where the key lives.
    template <typename Write>
    void Everywhere(Write write) const {
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (REGSAM view : {kView32, kView64})
                write(hive, view);
        }
    }

    // A key of an absolute path in one view, created for the test and removed with the fixture.
    void CreateOutside(HKEY hive, REGSAM view, const std::wstring& path) {
        Open(hive, view, path);
        m_outside.push_back({hive, view, path});
    }
    void SetStringOutside(HKEY hive,
                          REGSAM view,
                          const std::wstring& path,
                          const std::wstring& name,
                          const std::wstring& text) {
        CreateOutside(hive, view, path);
        win32::RegKey key = Open(hive, view, path);
        ASSERT_EQ(::RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

private:
    struct Outside {
        HKEY hive;
        REGSAM view;
        std::wstring path;
    };

    static win32::RegKey Open(HKEY hive, REGSAM view, const std::wstring& path) {
        win32::RegKey key;
        LSTATUS status =
            ::RegCreateKeyExW(hive, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.Put(), nullptr);
        EXPECT_EQ(status, ERROR_SUCCESS) << "cannot create the test key";
        return key;
    }

    void RemoveAll() {
        for (const Outside& key : m_outside) {
            win32::RegKey parent;
            const size_t slash = key.path.rfind(L'\\');
            if (::RegOpenKeyExW(key.hive, key.path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | key.view,
                                parent.Put()) == ERROR_SUCCESS)
                ::RegDeleteTreeW(parent.Get(), key.path.substr(slash + 1).c_str());
        }
        m_outside.clear();
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (REGSAM view : {kView32, kView64}) {
                win32::RegKey software;
                if (::RegOpenKeyExW(hive, L"Software", 0, KEY_ALL_ACCESS | view, software.Put()) == ERROR_SUCCESS)
                    ::RegDeleteTreeW(software.Get(), m_vendor.c_str());
            }
        }
    }

    std::wstring m_vendor;
    std::vector<Outside> m_outside;
};

// A string value outside the test's vendor key (in this process's own view) that a test changes; the value the
// prefix held, or its absence, is put back when the test ends.
class ChangedValue {
public:
    ChangedValue(HKEY hive, const std::wstring& path, std::wstring name) : m_name(std::move(name)) {
        EXPECT_EQ(::RegCreateKeyExW(hive, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | registry::kProcessView, nullptr,
                                    m_key.Put(), nullptr),
                  ERROR_SUCCESS);
        DWORD size = 0;
        if (::RegGetValueW(m_key.Get(), nullptr, m_name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) ==
            ERROR_SUCCESS) {
            std::wstring saved(size / sizeof(wchar_t) + 1, L'\0');
            size = static_cast<DWORD>(saved.size() * sizeof(wchar_t));
            if (::RegGetValueW(m_key.Get(), nullptr, m_name.c_str(), RRF_RT_REG_SZ, nullptr, saved.data(), &size) ==
                ERROR_SUCCESS) {
                saved.resize(size / sizeof(wchar_t));
                m_saved = saved;
            }
        }
    }
    ~ChangedValue() {
        if (m_saved)
            ::RegSetValueExW(m_key.Get(), m_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(m_saved->data()),
                             static_cast<DWORD>(m_saved->size() * sizeof(wchar_t)));
        else
            ::RegDeleteValueW(m_key.Get(), m_name.c_str());
    }
    ChangedValue(const ChangedValue&) = delete;
    ChangedValue& operator=(const ChangedValue&) = delete;

    void Set(const std::wstring& text) {
        ASSERT_EQ(::RegSetValueExW(m_key.Get(), m_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    void Remove() { ::RegDeleteValueW(m_key.Get(), m_name.c_str()); }

private:
    win32::RegKey m_key;
    std::wstring m_name;
    std::optional<std::wstring> m_saved;  // with its terminator, as stored
};

}  // namespace scratch
