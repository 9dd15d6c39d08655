#include "tests/support/Backend.h"

#include <windows.h>
#include <winhttp.h>

#include <cctype>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "win32/Handle.h"

namespace backend {
namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string EncodeBase64(const std::string& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<std::uint8_t>(bytes[i + 2]);
        text.push_back(kBase64[(group >> 18) & 63]);
        text.push_back(kBase64[(group >> 12) & 63]);
        text.push_back(i + 1 < bytes.size() ? kBase64[(group >> 6) & 63] : '=');
        text.push_back(i + 2 < bytes.size() ? kBase64[group & 63] : '=');
    }
    return text;
}

std::string DecodeBase64(const std::string& text) {
    std::string bytes;
    std::uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        const char* at = std::char_traits<char>::find(kBase64, 64, c);
        if (at == nullptr)
            continue;  // padding
        group = (group << 6) | static_cast<std::uint32_t>(at - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((group >> bits) & 0xFF));
        }
    }
    return bytes;
}

// One call of the control API; returns the answer's body and raises when the status is not 200.
std::string Call(const wchar_t* verb, const std::wstring& target, const std::string& body, double waitSeconds = 0) {
    auto fail = [&](const char* step) {
        throw std::runtime_error(std::string("test backend unreachable (") + step + " failed, error " +
                                 std::to_string(::GetLastError()) +
                                 "): run the tests through tools/sandbox.sh, which starts tools/backend/backend.py");
    };
    win32::WinHttpHandle session(::WinHttpOpen(L"wayfarer-tests", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                               WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        fail("WinHttpOpen");
    const int receiveMs = static_cast<int>((waitSeconds + 15) * 1000);
    ::WinHttpSetTimeouts(session.Get(), 5000, 5000, 15000, receiveMs);
    win32::WinHttpHandle connection(::WinHttpConnect(session.Get(), L"localhost", INTERNET_DEFAULT_HTTPS_PORT, 0));
    if (!connection)
        fail("WinHttpConnect");
    win32::WinHttpHandle request(::WinHttpOpenRequest(connection.Get(), verb, target.c_str(), nullptr,
                                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                      WINHTTP_FLAG_SECURE));
    if (!request)
        fail("WinHttpOpenRequest");
    const DWORD length = static_cast<DWORD>(body.size());
    const wchar_t* headers = L"Content-Type: application/json";
    if (!::WinHttpSendRequest(request.Get(), headers, static_cast<DWORD>(-1),
                              length ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA, length, length, 0))
        fail("WinHttpSendRequest");
    if (!::WinHttpReceiveResponse(request.Get(), nullptr))
        fail("WinHttpReceiveResponse");

    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    ::WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX);
    std::string answer;
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request.Get(), &available))
            fail("WinHttpQueryDataAvailable");
        if (available == 0)
            break;
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!::WinHttpReadData(request.Get(), chunk.data(), available, &read))
            fail("WinHttpReadData");
        answer.append(chunk.data(), read);
    }
    if (status != 200)
        throw std::runtime_error("test backend refused the call (" + std::to_string(status) + "): " + answer);
    return answer;
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::string EncodeQueryValue(const std::string& value) {
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : value) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[c >> 4]);
            encoded.push_back(hex[c & 15]);
        }
    }
    return encoded;
}

nlohmann::json ToJson(const Response& response) {
    nlohmann::json json = nlohmann::json::object();
    if (response.status != 200 || response.redirect.empty())
        json["status"] = response.status;
    if (response.bodySize) {
        json["bodySize"] = *response.bodySize;
        if (!response.pattern.empty())
            json["patternBase64"] = EncodeBase64(response.pattern);
        if (!response.prefix.empty())
            json["prefixBase64"] = EncodeBase64(response.prefix);
        if (!response.suffix.empty())
            json["suffixBase64"] = EncodeBase64(response.suffix);
    } else {
        json["bodyBase64"] = EncodeBase64(response.body);
    }
    nlohmann::json headers = nlohmann::json::array();
    for (const auto& [name, value] : response.headers)
        headers.push_back({name, value});
    json["headers"] = headers;
    if (response.delaySeconds > 0)
        json["delay"] = response.delaySeconds;
    if (response.chunkDelaySeconds > 0)
        json["chunkDelay"] = response.chunkDelaySeconds;
    if (response.headerDelaySeconds > 0)
        json["headerDelay"] = response.headerDelaySeconds;
    if (response.chunkSize > 0)
        json["chunkSize"] = response.chunkSize;
    if (response.noContentLength)
        json["noContentLength"] = true;
    if (response.contentLength)
        json["contentLength"] = *response.contentLength;
    if (response.closeAfter)
        json["closeAfter"] = *response.closeAfter;
    if (response.drop)
        json["drop"] = true;
    if (!response.redirect.empty())
        json["redirect"] = response.redirect;
    if (response.chunked)
        json["chunked"] = true;
    if (!response.badChunkSize.empty())
        json["badChunkSize"] = response.badChunkSize;
    if (response.cutInsideChunk)
        json["cutInsideChunk"] = true;
    if (response.cutHeaders)
        json["cutHeaders"] = true;
    if (response.ranges)
        json["ranges"] = true;
    return json;
}

void SetScript(const std::string& path, const char* match, const std::vector<Response>& responses) {
    nlohmann::json script = {{"path", path}, {"match", match}, {"responses", nlohmann::json::array()}};
    for (const Response& response : responses)
        script["responses"].push_back(ToJson(response));
    Call(L"POST", L"/__control/script", script.dump());
}

}  // namespace

std::string Request::Header(const std::string& name) const {
    for (const auto& [headerName, value] : headers) {
        if (headerName.size() == name.size() &&
            std::equal(name.begin(), name.end(), headerName.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return value;
    }
    return std::string();
}

bool Request::HasHeader(const std::string& name) const {
    for (const auto& [headerName, value] : headers) {
        if (headerName.size() == name.size() &&
            std::equal(name.begin(), name.end(), headerName.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return true;
    }
    return false;
}

void Reset() {
    Call(L"POST", L"/__control/reset", "{}");
}

void Script(const std::string& path, const std::vector<Response>& responses) {
    SetScript(path, "exact", responses);
}

void ScriptPrefix(const std::string& prefix, const std::vector<Response>& responses) {
    SetScript(prefix, "prefix", responses);
}

std::vector<Request> Requests(const std::string& path, size_t atLeast, double timeoutSeconds) {
    std::string target =
        "/__control/requests?min=" + std::to_string(atLeast) + "&timeout=" + std::to_string(timeoutSeconds);
    if (!path.empty())
        target += "&path=" + EncodeQueryValue(path);
    nlohmann::json answer = nlohmann::json::parse(Call(L"GET", Widen(target), "", timeoutSeconds));

    std::vector<Request> requests;
    for (const auto& item : answer.at("requests")) {
        Request request;
        request.method = item.at("method").get<std::string>();
        request.path = item.at("path").get<std::string>();
        request.query = item.at("query").get<std::string>();
        request.target = item.at("target").get<std::string>();
        for (const auto& header : item.at("headers"))
            request.headers.emplace_back(header.at(0).get<std::string>(), header.at(1).get<std::string>());
        request.body = DecodeBase64(item.at("body").get<std::string>());
        request.time = item.at("time").get<double>();
        request.listener = item.value("listener", "");
        request.bodyBytes = item.value("bodyBytes", std::uint64_t{0});
        request.refused = item.value("refused", false);
        requests.push_back(std::move(request));
    }
    return requests;
}

void ClearRequests() {
    Call(L"DELETE", L"/__control/requests", "");
}

std::vector<Connection> Connections() {
    nlohmann::json answer = nlohmann::json::parse(Call(L"GET", L"/__control/connections", ""));
    std::vector<Connection> connections;
    for (const auto& item : answer.at("connections"))
        connections.push_back({item.at("listener").get<std::string>(), item.at("time").get<double>()});
    return connections;
}

void Refuse(double seconds) {
    Call(L"POST", L"/__control/refuse", nlohmann::json({{"seconds", seconds}}).dump());
}

void ResetConnections(int count) {
    Call(L"POST", L"/__control/reset-connections", nlohmann::json({{"count", count}}).dump());
}

std::wstring Url(const std::string& path) {
    return L"https://localhost" + Widen(path);
}

std::wstring HttpUrl(const std::string& path) {
    return L"http://localhost" + Widen(path);
}

std::wstring Tls10Url(const std::string& path) {
    return L"https://localhost:4443" + Widen(path);
}

std::wstring OtherNameUrl(const std::string& path) {
    return L"https://localhost:8443" + Widen(path);
}

}  // namespace backend
