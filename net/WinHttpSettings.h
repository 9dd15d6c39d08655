// What every WinHTTP request of the program shares: how its URL is split, and the Windows-version rules for
// which proxy access type to ask for and which TLS versions to allow. Windows 7 needs special handling because its
// WinHTTP only knows TLS 1.1 and 1.2 from Service Pack 1 on and does not understand the automatic proxy access type.
#pragma once

#include <windows.h>

#include <string>

// VerifyVersionInfoW test: major, minor and service-pack major each greater than or equal to the arguments.
bool IsWindowsVersionAtLeast(WORD major, WORD minor, WORD servicePackMajor);

// Windows 7 (any service pack) but not 8 or later.
bool IsWindows7();

// Windows 7 before Service Pack 1, where the servers' TLS versions are not available at all.
bool IsWindows7WithoutServicePack();

// WINHTTP_ACCESS_TYPE_DEFAULT_PROXY on Windows 7, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY elsewhere.
DWORD ChooseWinHttpAccessType();

// VerifyVersionInfoW test of the build number: greater than or equal to `build` on Windows 10 or later.
bool IsWindowsBuildAtLeast(DWORD build);

// TLS 1.2, plus TLS 1.3 where WinHTTP has it (Windows Server 2022 and Windows 11, build 20348 on): the value of
// WINHTTP_OPTION_SECURE_PROTOCOLS. Older versions are deprecated and refused by every current browser; a
// server that offers nothing newer is refused.
DWORD ChooseSecureProtocols();

// Sets ChooseSecureProtocols on a WinHTTP session, falling back to TLS 1.2 alone when the system refuses the
// value; false, with the system's error as the last error, when it refuses that as well.
bool SetSecureProtocols(void* session);

// The parts of an absolute URL that a WinHTTP request is made of.
struct UrlParts {
    std::wstring host;
    WORD port = 0;
    bool secure = false;  // the https scheme
    std::wstring path;    // without the query or fragment
    std::wstring extra;   // the query or fragment, from its "?" or "#"
};

// Splits `url` with WinHttpCrackUrl; false, with WinHTTP's error as the last error, when it refuses the URL or
// the URL names no host.
bool CrackUrl(const std::wstring& url, UrlParts& parts);
