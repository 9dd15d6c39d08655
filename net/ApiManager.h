// The configuration request: what this run is to install and offer, asked of the configuration endpoint.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

std::wstring GetInstallerToken();

class ApiManager {
public:
    // Pause after every failed attempt; three failures therefore cost about 15 s. Each pause is spread by up to
    // kRetryPauseJitter of itself either way.
    static constexpr DWORD kRetryPauseMs = 5000;
    static constexpr double kRetryPauseJitter = 0.2;

    // The process-wide instance, created once on first use from any thread.
    static std::shared_ptr<ApiManager> GetInstance();

    // Posts the request object to the build's configuration URL (up to three attempts) and returns the parsed
    // answer. Raises WayfarerException for an empty URL, a transport failure (PostJson has tried again where the
    // request cannot have reached the server; one that may have reached it is not sent again) or a blank answer, and
    // the JSON library's parse error for an answer that is not JSON. After three attempts with a bad status the last
    // answer is still parsed and returned.
    nlohmann::json RequestConfiguration() const { return RequestConfiguration(kRetryPauseMs); }

    // Same, with another pause between attempts (before its spread), so that tests of the retries need not sleep
    // 15 s each, and with the campaign token given instead of read from the executable's name (the dry run's).
    nlohmann::json RequestConfiguration(DWORD retryPauseMs, const std::wstring& token = GetInstallerToken()) const;

    // The request body exactly as posted: compact JSON, keys in ascending order, every value a string.
    static std::string BuildRequestBody(const std::wstring& token = GetInstallerToken());
};

// The configuration answer as the installer reads it. Raises WayfarerException for a blank answer and the JSON
// library's parse error for one that is not JSON.
nlohmann::json ParseConfigurationAnswer(const std::string& response);

// Campaign token from the running executable's path: the text after the last "_" of the whole path, cut
// before its last ".", kept only when it is 7 characters long and holds a "-" ("Setup_ab-12cd.exe" gives
// "ab-12cd"); otherwise "".
std::wstring GetInstallerToken();

// The token rule applied to a given path; GetInstallerToken applies it to the executable's own path.
std::wstring ExtractInstallerToken(const std::wstring& path);

// "major.minor.build" from RtlGetVersion, which unlike GetVersionEx does not depend on the manifest; "" when
// it fails.
std::string GetOsVersionString();
