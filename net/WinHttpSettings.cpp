#include "net/WinHttpSettings.h"

#include <winhttp.h>

bool IsWindowsVersionAtLeast(WORD major, WORD minor, WORD servicePackMajor) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.wServicePackMajor = servicePackMajor;
    DWORDLONG condition = 0;
    condition = ::VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, condition) != FALSE;
}

bool IsWindows7() {
    return IsWindowsVersionAtLeast(6, 1, 0) && !IsWindowsVersionAtLeast(6, 2, 0);
}

bool IsWindows7WithoutServicePack() {
    return IsWindowsVersionAtLeast(6, 1, 0) && !IsWindowsVersionAtLeast(6, 1, 1);
}

DWORD ChooseWinHttpAccessType() {
    return IsWindows7() ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY : WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY;
}

bool IsWindowsBuildAtLeast(DWORD build) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = 10;
    info.dwBuildNumber = build;
    DWORDLONG condition = 0;
    condition = ::VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_BUILDNUMBER, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_BUILDNUMBER, condition) != FALSE;
}

DWORD ChooseSecureProtocols() {
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    if (IsWindowsBuildAtLeast(20348))
        protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    return protocols;
}

bool SetSecureProtocols(void* session) {
    DWORD protocols = ChooseSecureProtocols();
    if (::WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)))
        return true;
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    return ::WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)) != FALSE;
}

bool CrackUrl(const std::wstring& url, UrlParts& parts) {
    URL_COMPONENTS components{};
    components.dwStructSize = sizeof(components);
    components.dwSchemeLength = static_cast<DWORD>(-1);
    components.dwHostNameLength = static_cast<DWORD>(-1);
    components.dwUrlPathLength = static_cast<DWORD>(-1);
    components.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &components) ||
        components.lpszHostName == nullptr)
        return false;
    parts.host.assign(components.lpszHostName, components.dwHostNameLength);
    parts.port = components.nPort;
    parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
    parts.path = components.lpszUrlPath != nullptr ? std::wstring(components.lpszUrlPath, components.dwUrlPathLength)
                                                   : std::wstring();
    parts.extra = components.lpszExtraInfo != nullptr
                      ? std::wstring(components.lpszExtraInfo, components.dwExtraInfoLength)
                      : std::wstring();
    return true;
}
