#include "net/ApiManager.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <new>

#include "config/ConfigurationManager.h"
#include "diagnostics/RunLog.h"
#include "net/Jitter.h"
#include "net/JsonPost.h"
#include "net/WayfarerException.h"
#include "win32/Strings.h"

namespace {

const char kProtocolVersion[] = "0.1";
const int kAttempts = 3;

bool IsBlank(const std::string& text) {
    for (char c : text) {
        // The classic-locale space class, whatever locale the thread has.
        if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r')
            return false;
    }
    return true;
}

}  // namespace

std::shared_ptr<ApiManager> ApiManager::GetInstance() {
    // Never destroyed: a thread that outlives the wizard (a loading run, an event send) may still ask for it while
    // the process ends.
    static const auto* instance = new std::shared_ptr<ApiManager>(std::make_shared<ApiManager>());
    return *instance;
}

std::string ApiManager::BuildRequestBody(const std::wstring& token) {
    auto configuration = ConfigurationManager::GetInstance();

    std::wstring language = configuration->m_localeName.substr(0, 2);
    for (wchar_t& c : language)
        c = static_cast<wchar_t>(std::towlower(c));

    nlohmann::json request = nlohmann::json::object();
    request["prv"] = kProtocolVersion;
    request["plv"] = win32::WideToAnsi(configuration->m_programVersion);
    request["l"] = win32::WideToAnsi(language);
    request["a"] = win32::WideToAnsi(configuration->m_brand);
    request["i"] = win32::WideToAnsi(configuration->m_productKey);
    request["s"] = win32::WideToAnsi(configuration->m_installerVariant);
    request["u"] = win32::WideToAnsi(token);
    request["o"] = GetOsVersionString();
    // ANSI text is not UTF-8 once it leaves ASCII (a renamed executable can bring such a token): such bytes are
    // sent as U+FFFD instead of making the serializer throw and the whole installation fail.
    return request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json ApiManager::RequestConfiguration(DWORD retryPauseMs, const std::wstring& token) const {
    const std::wstring url = ConfigurationManager::GetInstance()->m_configUrl;
    if (url.empty())
        throw WayfarerException();

    const std::string body = BuildRequestBody(token);
    std::string response;
    const std::uint64_t started = diagnostics::GetTickMs();
    DWORD status = 0;
    int attempt = 0;
    for (; attempt < kAttempts; ++attempt) {
        response.clear();
        // A status line that cannot be read leaves 0, which counts as a failed attempt.
        status = 0;
        PostJson(url, body, HeaderList(), response, status);
        if (status >= 200 && status <= 399)
            break;
        // No further attempt once the user has left the wizard, also when that happened during the pause.
        if (ConfigurationManager::GetInstance()->m_closing)
            break;
        const auto pause = net::Jittered(std::chrono::milliseconds(retryPauseMs), kRetryPauseJitter, net::RandomUnit());
        ::Sleep(static_cast<DWORD>(pause.count()));
        if (ConfigurationManager::GetInstance()->m_closing)
            break;
    }
    diagnostics::Record("configuration %ls status=%lu bytes=%zu ms=%llu attempts=%d",
                        url.substr(0, url.find(L'?')).c_str(), status, response.size(),
                        diagnostics::GetTickMs() - started, std::min(attempt + 1, kAttempts));

    return ParseConfigurationAnswer(response);
}

nlohmann::json ParseConfigurationAnswer(const std::string& response) {
    if (IsBlank(response))
        throw WayfarerException();
    try {
        nlohmann::json configuration = nlohmann::json::parse(response, nullptr, true, false);
        if (configuration.is_discarded())
            throw WayfarerException();
        return configuration;
    } catch (const std::bad_alloc&) {
        // An answer too large to hold twice in this 32-bit process is no usable configuration either.
        throw WayfarerException();
    }
}

std::wstring ExtractInstallerToken(const std::wstring& path) {
    const size_t underscore = path.rfind(L'_');
    if (underscore == std::wstring::npos)
        return std::wstring();
    std::wstring token = path.substr(underscore + 1);
    const size_t dot = token.rfind(L'.');
    if (dot != std::wstring::npos)
        token.erase(dot);
    if (token.size() == 7 && token.find(L'-') != std::wstring::npos)
        return token;
    return std::wstring();
}

std::wstring GetInstallerToken() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0)
        return std::wstring();
    return ExtractInstallerToken(std::wstring(path, std::min<DWORD>(length, MAX_PATH)));
}

std::string GetOsVersionString() {
    using RtlGetVersionFunction = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFunction>(::GetProcAddress(ntdll, "RtlGetVersion")) : nullptr;
    if (rtlGetVersion == nullptr)
        return std::string();
    RTL_OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (rtlGetVersion(&info) != 0)
        return std::string();
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwBuildNumber);
}
