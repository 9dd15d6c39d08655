// The proxy settings of the user and the machine, written where Windows keeps them, for the tests of the proxy
// rule against the system's real settings; and the run log's facts, to see which route a request took.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "diagnostics/RunLog.h"
#include "net/JsonPost.h"
#include "tests/support/Backend.h"
#include "tests/support/RunLogFacts.h"
#include "win32/Handle.h"

namespace proxy_testing {

inline const wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
// Nothing listens there in the test sandbox: a proxy that is down.
inline const char kDownProxy[] = "127.0.0.1:9";

// A registry value as it was before the test, put back (or removed) when the test ends.
class SavedValue {
public:
    SavedValue(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view = 0)
        : m_root(root), m_key(key), m_name(name), m_view(view) {
        win32::RegKey opened;
        DWORD size = 0;
        if (::RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, opened.Put()) == ERROR_SUCCESS &&
            ::RegQueryValueExW(opened.Get(), name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_data.emplace(size);
            ::RegQueryValueExW(opened.Get(), name, nullptr, &m_type, m_data->data(), &size);
        }
    }
    ~SavedValue() {
        win32::RegKey key;
        if (::RegCreateKeyExW(m_root, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | m_view, nullptr, key.Put(),
                              nullptr) != ERROR_SUCCESS)
            return;
        if (m_data)
            ::RegSetValueExW(key.Get(), m_name.c_str(), 0, m_type, m_data->data(), static_cast<DWORD>(m_data->size()));
        else
            ::RegDeleteValueW(key.Get(), m_name.c_str());
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

    void Set(DWORD type, const void* data, size_t size) const {
        win32::RegKey key;
        ASSERT_EQ(::RegCreateKeyExW(m_root, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | m_view, nullptr, key.Put(),
                                    nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.Get(), m_name.c_str(), 0, type, static_cast<const BYTE*>(data),
                                   static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
    }

private:
    HKEY m_root;
    std::wstring m_key;
    std::wstring m_name;
    REGSAM m_view;
    DWORD m_type = 0;
    std::optional<std::vector<BYTE>> m_data;
};

// The binary connection settings Windows keeps for the user ("DefaultConnectionSettings", first field 0x46) and
// for the machine's WinHTTP ("WinHttpSettings", 0x18): a manual proxy (when not empty) and its bypass list, and
// for the user an automatic-configuration script (when not empty).
inline std::vector<BYTE> ConnectionSettings(DWORD magic,
                                            const std::string& proxy,
                                            const std::string& bypass,
                                            const std::string& script = "") {
    std::vector<BYTE> blob;
    auto put = [&](DWORD value) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
        blob.insert(blob.end(), bytes, bytes + sizeof(value));
    };
    auto text = [&](const std::string& value) {
        put(static_cast<DWORD>(value.size()));
        blob.insert(blob.end(), value.begin(), value.end());
    };
    const DWORD kDirect = 1;
    const DWORD kProxy = 2;
    put(magic);
    // A change counter in the user's settings; always 0 in the machine's, and read as such.
    put(magic == 0x46 ? 1 : 0);
    const DWORD kScript = 4;
    put(kDirect | (proxy.empty() ? 0 : kProxy) | (script.empty() ? 0 : kScript));
    text(proxy);
    text(bypass);
    if (magic == 0x46)
        text(script);
    blob.resize(blob.size() + 32, 0);
    return blob;
}

// Owns the user's or the machine's proxy setting for a test: both registry views hold `blob` until the end.
class ProxySetting {
public:
    ProxySetting(bool machine, const std::vector<BYTE>& blob)
        : m_view32(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kConnections, Name(machine), KEY_WOW64_32KEY),
          m_view64(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kConnections, Name(machine), KEY_WOW64_64KEY) {
        m_view32.Set(REG_BINARY, blob.data(), blob.size());
        m_view64.Set(REG_BINARY, blob.data(), blob.size());
    }

private:
    static const wchar_t* Name(bool machine) { return machine ? L"WinHttpSettings" : L"DefaultConnectionSettings"; }
    SavedValue m_view32;
    SavedValue m_view64;
};

// Posts with a run log of its own.
class ProxyRouteRun : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"wayfarer-proxy-routes\\";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        backend::Reset();
        backend::Script("/zbd", {{.body = "{}"}});
    }
    void TearDown() override {
        diagnostics::StopRunLog();
        ::DeleteFileW(m_log.c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }

    // Posts once to `url` with a fresh run log and returns the log's facts.
    std::vector<std::string> PostAndLog(const std::wstring& url) {
        diagnostics::StartRunLog(m_folder);
        m_log = diagnostics::GetRunLogPath();
        std::string response;
        DWORD status = 0;
        try {
            EXPECT_TRUE(PostJson(url, "{}", {}, response, status));
        } catch (...) {
            ADD_FAILURE() << "the post failed";
        }
        EXPECT_EQ(status, 200u);
        diagnostics::StopRunLog();
        std::vector<std::string> facts = testing_log::RunLogFacts(m_log);
        ::DeleteFileW(m_log.c_str());
        return facts;
    }

    std::wstring m_folder;
    std::wstring m_log;
};

inline bool HasFact(const std::vector<std::string>& facts, const std::string& fact) {
    for (const std::string& line : facts)
        if (line == fact)
            return true;
    return false;
}

inline std::string Joined(const std::vector<std::string>& facts) {
    std::string text;
    for (const std::string& fact : facts)
        text += fact + "\n";
    return text;
}

}  // namespace proxy_testing
