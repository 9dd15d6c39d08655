// The proxy rule against the system's real settings: a proxy set for the user or for the machine that is down
// (nothing listens on its port) while the server is reachable directly. The request moves on to the next route
// within the same attempt, and the run log says which route it took and why it left the first.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "diagnostics/RunLog.h"
#include "net/JsonPost.h"
#include "tests/support/Backend.h"
#include "win32/Handle.h"

namespace {

const wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
// Nothing listens there in the test sandbox: a proxy that is down.
const char kDownProxy[] = "127.0.0.1:9";

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
// for the machine's WinHTTP ("WinHttpSettings", 0x18): a manual proxy and its bypass list.
std::vector<BYTE> ConnectionSettings(DWORD magic, const std::string& proxy, const std::string& bypass) {
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
    put(kDirect | kProxy);
    text(proxy);
    text(bypass);
    if (magic == 0x46)
        text("");  // no automatic-configuration script
    blob.resize(blob.size() + 32, 0);
    return blob;
}

std::vector<std::string> LogFacts(const std::wstring& path) {
    std::string bytes;
    win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    char buffer[4096];
    DWORD read = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    std::vector<std::string> facts;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = bytes.substr(start, end - start);
        const size_t bracket = line.find("] ");
        facts.push_back(bracket == std::string::npos ? line : line.substr(bracket + 2));
    }
    return facts;
}

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

    // Posts once with a fresh run log and returns the log's facts.
    std::vector<std::string> PostAndLog() {
        diagnostics::StartRunLog(m_folder);
        m_log = diagnostics::GetRunLogPath();
        std::string response;
        DWORD status = 0;
        EXPECT_TRUE(PostJson(backend::Url("/zbd"), "{}", {}, response, status));
        EXPECT_EQ(status, 200u);
        diagnostics::StopRunLog();
        std::vector<std::string> facts = LogFacts(m_log);
        ::DeleteFileW(m_log.c_str());
        return facts;
    }

    std::wstring m_folder;
    std::wstring m_log;
};

bool HasFact(const std::vector<std::string>& facts, const std::string& fact) {
    for (const std::string& line : facts)
        if (line == fact)
            return true;
    return false;
}

std::string Joined(const std::vector<std::string>& facts) {
    std::string text;
    for (const std::string& fact : facts)
        text += fact + "\n";
    return text;
}

}  // namespace

TEST_F(ProxyRouteRun, AProxyThatIsDownIsLeftForDirectWithinTheSameAttempt) {
    struct Case {
        const char* source;
        HKEY root;
        const wchar_t* name;
        DWORD magic;
    } cases[] = {
        {"user", HKEY_CURRENT_USER, L"DefaultConnectionSettings", 0x46},
        {"machine", HKEY_LOCAL_MACHINE, L"WinHttpSettings", 0x18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        backend::ClearRequests();
        std::vector<std::string> facts;
        {
            // Both registry views: the machine's setting is written by a 64-bit tool on a 64-bit Windows.
            SavedValue saved32(c.root, kConnections, c.name, KEY_WOW64_32KEY);
            SavedValue saved64(c.root, kConnections, c.name, KEY_WOW64_64KEY);
            const std::vector<BYTE> blob = ConnectionSettings(c.magic, kDownProxy, "");
            saved32.Set(REG_BINARY, blob.data(), blob.size());
            saved64.Set(REG_BINARY, blob.data(), blob.size());
            facts = PostAndLog();
        }
        const std::string url = "post https://localhost/zbd ";
        const std::string proxy = std::string("route=") + kDownProxy + " (" + c.source + ")";
        EXPECT_TRUE(HasFact(facts, url + proxy + " attempt=1 not reached: error 12029, next route")) << Joined(facts);
        EXPECT_TRUE(HasFact(facts, url + "route=direct attempt=1")) << Joined(facts);
        EXPECT_EQ(backend::Requests("/zbd").size(), 1u);
    }
}
