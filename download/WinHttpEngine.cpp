// The WinHTTP engine: installers to a file with progress, and images to memory. Both run on a thread of their
// own that the caller stops waiting for when the transfer outlives its bounds: WinHTTP's timeouts end a silent
// connection, but under Wine every byte of a header block that drips starts them again.
#include "download/Engines.h"

#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "diagnostics/RunLog.h"
#include "download/RedirectRule.h"
#include "net/ProxyRoutes.h"
#include "net/WinHttpSettings.h"
#include "win32/Strings.h"

using download::Fail;
using download::FailWithLastError;

namespace {

// The size first offered for a redirect target; a longer one is read again at its real length.
constexpr DWORD kLocationBufferBytes = 260;
using download::kWinHttpTag;
const wchar_t kImageUserAgent[] = L"A WinHTTP Example Program/1.0";

using Clock = std::chrono::steady_clock;

struct PassSettings {
    const wchar_t* userAgent;
    DWORD accessType;
    DWORD requestFlags;
    int timeoutMs;
};

}  // namespace

// (An answer that breaks the protocol is reported with the same code as a connection dropped before any answer,
// which is worth another try.)
bool download::IsWinHttpVerdict(DWORD code) {
    switch (code) {
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
            return true;
        default:
            return false;
    }
}

namespace {

[[noreturn]] void FailRequest(const wchar_t* format) {
    const DWORD code = ::GetLastError();
    download::FailExchange(format, code, download::IsWinHttpVerdict(code));
}

// The handles of one request: every redirect and every attempt opens its own and closes them before the next.
// Declared in opening order, so they close request first.
struct WinHttpPass {
    win32::WinHttpHandle session;
    win32::WinHttpHandle connection;
    win32::WinHttpHandle request;
};

// Opens `pass` for `url` on `route`; false when sending the request failed, with WinHTTP's error as the last
// error. Every other failure raises.
bool OpenPassOnRoute(WinHttpPass& pass,
                     const std::wstring& url,
                     const net::ProxyRoute& route,
                     const PassSettings& settings,
                     const std::wstring& headers) {
    pass.session.Reset(net::OpenSession(route, settings.userAgent));
    if (!pass.session)
        FailWithLastError(L"Failed to open HTTP session: %d - %ls");
    // A server that accepts and then stays silent must not hold the download for ever.
    const int timeout = settings.timeoutMs;
    ::WinHttpSetTimeouts(pass.session.Get(), timeout, timeout, timeout, timeout);
    DWORD responseTimeout = static_cast<DWORD>(timeout);
    ::WinHttpSetOption(pass.session.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                       sizeof(responseTimeout));
    if (!SetSecureProtocols(pass.session.Get()))
        FailWithLastError(L"Failed to set secure protocols: %d - %ls");

    UrlParts parts;
    if (!CrackUrl(url, parts))
        FailWithLastError(L"Failed to parse URL: %d - %ls");
    // The path runs to the end of the URL, so that a query is sent with it.
    const std::wstring path = parts.path + parts.extra;

    pass.connection.Reset(::WinHttpConnect(pass.session.Get(), parts.host.c_str(), parts.port, 0));
    if (!pass.connection)
        FailWithLastError(L"Failed to connect: %d - %ls");
    const DWORD flags = settings.requestFlags | (parts.secure ? WINHTTP_FLAG_SECURE : 0);
    pass.request.Reset(::WinHttpOpenRequest(pass.connection.Get(), L"GET", path.empty() ? nullptr : path.c_str(),
                                            nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!pass.request)
        FailWithLastError(L"Failed to open request: %d - %ls");
    // Redirects are followed by RedirectChain, one pass each, so that they are counted and checked; WinHTTP
    // would follow them silently, and from https to http as well.
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
    if (!::WinHttpSetOption(pass.request.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof(disabled)))
        FailWithLastError(L"Failed to open request: %d - %ls");

    const wchar_t* extra = headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str();
    if (!::WinHttpSendRequest(pass.request.Get(), extra, static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA, 0,
                              0, 0))
        return false;
    if (!::WinHttpReceiveResponse(pass.request.Get(), nullptr))
        FailRequest(L"Failed to receive response: %d - %ls");
    return true;
}

WinHttpPass OpenPass(const std::wstring& url, const PassSettings& settings, const std::wstring& headers) {
    const std::vector<net::ProxyRoute> routes = net::FindProxyRoutes(url, settings.accessType);
    for (size_t index = 0;; ++index) {
        WinHttpPass pass;
        if (OpenPassOnRoute(pass, url, routes[index], settings, headers)) {
            if (routes.size() > 1)
                diagnostics::Record("download route=%ls", net::DescribeRoute(routes[index]).c_str());
            return pass;
        }
        // Only a route that failed before the request could reach the server is left for the next one.
        const DWORD error = ::GetLastError();
        const bool next = index + 1 < routes.size() && net::IsConnectionLevelFailure(error);
        if (routes.size() > 1)
            diagnostics::Record("download route=%ls failed: error %lu%s", net::DescribeRoute(routes[index]).c_str(),
                                error, next ? ", next route" : "");
        if (!next) {
            ::SetLastError(error);
            FailRequest(L"Failed to send request: %d - %ls");
        }
    }
}

DWORD QueryStatus(HINTERNET request) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &value, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return value;
}

// Every value of a header, in order, each at its real length.
std::vector<std::wstring> QueryAll(HINTERNET request, DWORD query) {
    std::vector<std::wstring> values;
    DWORD index = 0;
    for (;;) {
        std::vector<wchar_t> buffer(kLocationBufferBytes / sizeof(wchar_t));
        DWORD size = kLocationBufferBytes;
        const DWORD asked = index;
        BOOL ok = ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size, &index);
        if (!ok && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            index = asked;
            buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
            size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
            ok = ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size, &index);
        }
        if (!ok || index == asked)
            return values;
        values.emplace_back(buffer.data(), std::min<size_t>(size / sizeof(wchar_t), buffer.size()));
    }
}

// The announced length of the body, read as text: lengths of 2 GiB and more do not fit the number query.
std::optional<std::uint64_t> QueryContentLength(HINTERNET request) {
    return download::ParseContentLength(QueryAll(request, WINHTTP_QUERY_CONTENT_LENGTH));
}

// Sends the request for the chain's URL, with `headers` on every pass, and follows redirects until a final answer;
// raises unless its status is 2xx, or 416 when `headers` ask for a range.
// `watch`, when there is one, hears of every answer, and stops the transfer before another request once its
// caller has given up; so does `deadline`, once the caller has stopped waiting for an image.
WinHttpPass OpenFollowingRedirects(const std::wstring& url,
                                   const PassSettings& settings,
                                   download::WatchedTransfer* watch,
                                   std::optional<Clock::time_point> deadline = std::nullopt,
                                   const std::wstring& headers = std::wstring()) {
    download::RedirectChain chain(url);
    for (;;) {
        if (watch != nullptr)
            watch->Touch();
        // A redirect answer that came after the deadline (a blocked call outlasts it) must not be followed.
        if (deadline && Clock::now() >= *deadline)
            download::FailFinally(L"Download took longer than its time limit.");
        WinHttpPass pass = OpenPass(chain.Url(), settings, headers);
        if (watch != nullptr)
            watch->Touch();
        const DWORD status = QueryStatus(pass.request.Get());
        if (status >= 300 && status <= 399) {
            const std::vector<std::wstring> locations = QueryAll(pass.request.Get(), WINHTTP_QUERY_LOCATION);
            // A 3xx answer without a target (304, or a 300 that only lists choices) cannot be followed.
            if (!locations.empty() && !locations.front().empty()) {
                chain.Follow(locations.front());
                continue;
            }
        }
        if (status == 416 && !headers.empty())
            return pass;
        if (status < 200 || status > 299) {
            download::FailStatus(
                status,
                win32::FormatWide(L"Download failed: Server returned status code: %d", static_cast<int>(status)),
                QueryAll(pass.request.Get(), WINHTTP_QUERY_RETRY_AFTER));
        }
        return pass;
    }
}

// The time bounds of reading one body: the rate floor, and for images a deadline for the whole download.
class BodyBounds {
public:
    BodyBounds(const download::TransferLimits& limits, std::optional<Clock::time_point> deadline)
        : m_rate(limits.minimumRate, limits.rateWindow, Clock::now()),
          m_deadline(deadline),
          m_limit(limits.imageTimeLimit) {}

    void Check(std::uint64_t bytes) {
        const auto now = Clock::now();
        if (m_deadline && now >= *m_deadline) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_limit).count();
            download::FailFinally(
                win32::FormatWide(L"Download took longer than %d seconds.", static_cast<int>(seconds)));
        }
        m_rate.Add(bytes, now);
    }

private:
    download::RateFloor m_rate;
    std::optional<Clock::time_point> m_deadline;
    std::chrono::milliseconds m_limit;
};

// Carries an image's bytes from the thread that fetches them to the caller, who waits no longer than a deadline.
class ImageHandoff {
public:
    void Deliver(std::vector<char> bytes) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes = std::move(bytes);
        m_delivered = true;
        m_changed.notify_all();
    }

    // The bytes delivered by `deadline`; none when they have not come by then.
    std::vector<char> Wait(Clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_until(lock, deadline, [this] { return m_delivered; }))
            return {};
        return std::move(m_bytes);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_delivered = false;
    std::vector<char> m_bytes;
};

// Reads the body chunk by chunk, each as large as what the connection already holds, handing each to `sink`.
// A set `cancelled` stops the transfer before the next chunk; `bounds` stops a transfer that drips.
template <typename Sink>
void ReadBody(HINTERNET request,
              const std::atomic<bool>* cancelled,
              BodyBounds& bounds,
              download::WatchedTransfer* watch,
              Sink&& sink) {
    std::vector<char> buffer;
    for (;;) {
        if (cancelled != nullptr && *cancelled)
            Fail(L"Download cancelled.");
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available))
            FailRequest(L"Failed to query data: %d - %ls");
        if (watch != nullptr)
            watch->Touch();
        bounds.Check(0);
        if (available == 0)
            return;
        try {
            if (buffer.size() < available)
                buffer.resize(available);
        } catch (const std::bad_alloc&) {
            Fail(L"Out of memory.");
        }
        DWORD read = 0;
        if (!::WinHttpReadData(request, buffer.data(), available, &read))
            FailRequest(L"Failed to read data: %d - %ls");
        sink(buffer.data(), read);
        bounds.Check(read);
    }
}

void TransferWinHttp(download::WatchedTransfer& transfer, const download::AttemptPlan& plan) {
    download::PartialFile& file = transfer.File();
    download::ProgressReporter& progress = *plan.progress;

    const PassSettings settings{nullptr, ChooseWinHttpAccessType(), 0,
                                static_cast<int>(plan.limits.stallTimeout.count())};
    WinHttpPass pass =
        OpenFollowingRedirects(plan.url, settings, &transfer, std::nullopt, download::RangeHeaders(plan.resume));
    download::AnswerHeaders answer;
    answer.status = QueryStatus(pass.request.Get());
    answer.contentLength = QueryContentLength(pass.request.Get());
    answer.contentRange = QueryAll(pass.request.Get(), WINHTTP_QUERY_CONTENT_RANGE);
    answer.acceptRanges = QueryAll(pass.request.Get(), WINHTTP_QUERY_ACCEPT_RANGES);
    answer.etag = QueryAll(pass.request.Get(), WINHTTP_QUERY_ETAG);
    answer.lastModified = QueryAll(pass.request.Get(), WINHTTP_QUERY_LAST_MODIFIED);
    answer.contentEncoding = QueryAll(pass.request.Get(), WINHTTP_QUERY_CONTENT_ENCODING);
    answer.transferEncoding = QueryAll(pass.request.Get(), WINHTTP_QUERY_TRANSFER_ENCODING);
    const std::optional<std::uint64_t> length = download::BeginBody(transfer, plan, answer);
    BodyBounds bounds(plan.limits, std::nullopt);
    ReadBody(pass.request.Get(), plan.cancelled.get(), bounds, &transfer, [&](const char* data, DWORD size) {
        file.Write(data, size);
        progress.AddChunk(size);
    });
    transfer.Succeed([&] {
        std::wstring saved = file.Complete(length, L"Failed to open downloaded file.");
        progress.ReportComplete();
        return saved;
    });
}

// One attempt at an image, within what is left of `deadline`.
void FetchToMemory(const std::wstring& url,
                   const download::TransferLimits& limits,
                   const std::atomic<bool>* cancelled,
                   std::vector<char>& bytes,
                   Clock::time_point deadline) {
    // No single wait may outlast what is left of the image's time.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const auto stall = static_cast<long long>(limits.stallTimeout.count());
    const int timeoutMs = static_cast<int>(std::max<long long>(1, std::min<long long>(left, stall)));
    const PassSettings settings{kImageUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_FLAG_REFRESH, timeoutMs};
    WinHttpPass pass = OpenFollowingRedirects(url, settings, nullptr, deadline);
    const std::optional<std::uint64_t> length = QueryContentLength(pass.request.Get());
    BodyBounds bounds(limits, deadline);
    ReadBody(pass.request.Get(), cancelled, bounds, nullptr, [&](const char* data, DWORD size) {
        if (bytes.size() + size > download::kMaxImageBytes)
            Fail(L"Image too large.");
        try {
            bytes.insert(bytes.end(), data, data + size);
        } catch (const std::bad_alloc&) {
            Fail(L"Out of memory.");
        }
    });
    // A connection cut before the announced end reads like a normal end; the second attempt is there for it.
    if (length && bytes.size() != *length)
        Fail(download::IncompleteText(*length, bytes.size()));
}

}  // namespace

download::AttemptOutcome download::AttemptWinHttp(const AttemptPlan& plan) {
    // WinHTTP's own timeouts end a connection that falls silent; the watch, at twice that limit, ends one that
    // drips its header block, which restarts those timeouts with every byte under Wine.
    const auto limit = 2 * plan.limits.stallTimeout;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
    auto transfer = std::make_shared<WatchedTransfer>(
        limit, plan.targetPath,
        kWinHttpTag + win32::FormatWide(L"No progress for %d seconds.", static_cast<int>(seconds)), plan.keptPath);
    return RunAttempt(transfer, kWinHttpTag, [transfer, plan] { TransferWinHttp(*transfer, plan); });
}

std::vector<char> download::FetchImage(const std::wstring& url,
                                       const TransferLimits& limits,
                                       std::shared_ptr<const std::atomic<bool>> cancelled) {
    // One bound for both attempts: the loading page waits for every image before the wizard goes on.
    const auto deadline = Clock::now() + limits.imageTimeLimit;
    // The attempts run on a thread of their own that the caller stops waiting for at the limit: a header block
    // that drips keeps a WinHTTP call blocked whatever its timeouts (Wine's start again with every byte), and
    // closing the request does not end such a call everywhere. The thread then finishes unobserved, and what it
    // fetched is dropped.
    auto handoff = std::make_shared<ImageHandoff>();
    std::thread([url, limits, cancelled, deadline, handoff] {
        std::vector<char> bytes;
        for (int attempt = 0; attempt < 2 && Clock::now() < deadline; ++attempt) {
            try {
                FetchToMemory(url, limits, cancelled.get(), bytes, deadline);
                break;
            } catch (const Failure& failure) {
                bytes.clear();
                // Asking again would only meet the same answer.
                if (failure.Kind() == FailureKind::Final)
                    break;
            } catch (...) {
                // Nothing may escape a detached thread: it would end the process.
                bytes.clear();
                break;
            }
        }
        handoff->Deliver(std::move(bytes));
    }).detach();
    return handoff->Wait(deadline);
}
