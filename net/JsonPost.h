// One synchronous HTTPS POST of a JSON text, its answer read whole into memory, and the signature header that
// event reports carry. Called only from worker threads; every call opens and closes its own WinHTTP session.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

// Ordered (name, value) pairs of request headers.
using HeaderList = std::vector<std::pair<std::wstring, std::wstring>>;

// Attempts of one post whose every route failed before the request could reach the server, and the pauses
// between them: the downloads' backoff (1 s doubling, spread by half of itself either way). A post that may have
// reached the server is never sent again, so that no event is counted twice.
constexpr int kPostAttempts = 3;
constexpr std::chrono::milliseconds kPostRetryPauseBase{1000};
constexpr std::chrono::milliseconds kPostRetryPauseCap{30000};
constexpr double kPostRetryPauseJitter = 0.5;

// Posts `body` (its bytes up to the first NUL) to the host and path of `url`, always over TLS to port 443:
// the URL's scheme, port, query and fragment are ignored. `headers` is taken by value: "Expect: 100-continue"
// and "Content-Type: application/json" are appended to this copy only.
//
// The answer's body is appended to `response`, each received chunk up to its first NUL; it is cleared only when
// the answer outgrows its bound (128 MiB), which raises WayfarerException. `status` is written only when the status
// line could be read. Returns true once the request was sent and the response headers arrived, whatever the HTTP
// status; every other outcome raises WayfarerException. The request takes the routes of net::FindProxyRoutes in
// turn, moving on when one fails before the request could reach the server; when every route failed so, the whole
// round is tried again up to kPostAttempts times; the run log says which route answered and why one was left. Problems
// that do not stop the call (a header that cannot be added, a failed read) are written to standard output. The WinHTTP
// time-outs decide how long a silent server is waited for; the wait for the response headers is bounded at Windows' own
// default of 90 s, which Wine would otherwise leave unbounded.
bool PostJson(const std::wstring& url,
              const std::string& body,
              HeaderList headers,
              std::string& response,
              DWORD& status);

// ("Authorization", "Signature=" + SHA-256 hex of machine GUID + session timestamp). No secret enters it: the
// receiver finds both values in the event body and can recompute it.
std::pair<std::wstring, std::wstring> MakeSignatureHeader();
