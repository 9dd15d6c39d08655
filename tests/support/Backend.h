// Client of the local test backend (tools/backend/backend.py) for the Windows-side tests.
//
// The backend listens on https://localhost:443 inside the test sandbox (tools/sandbox.sh) and answers every
// path from a script: a list of responses used one per request, the last one repeating. It records every
// request it receives, in order. Typical use:
//
//     backend::Reset();
//     backend::Script("/o", {{.status = 503, .body = "busy"}, {.body = R"({"l":"US"})"}});
//     ... code under test posts to backend::Url("/o") ...
//     auto requests = backend::Requests("/o");
//     EXPECT_EQ(requests.size(), 2u);
//     EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
//
// Every function raises std::runtime_error when the backend cannot be reached or rejects the call, so a test
// run outside the sandbox fails with a clear message instead of hanging.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace backend {

using Headers = std::vector<std::pair<std::string, std::string>>;

// One scripted answer. Leave a field at its default to leave that behaviour out.
struct Response {
    int status = 200;  // 302 is used when `redirect` is set and `status` stays 200
    std::string body;  // bytes as they are sent (may hold NULs)
    // Generated body of this many bytes instead of `body`, streamed by the server without holding it in memory:
    // `prefix`, then `bodySize` bytes (`pattern` repeated, or GeneratedByte(i) when `pattern` is empty), then
    // `suffix`.
    std::optional<std::uint64_t> bodySize;
    std::string pattern;
    std::string prefix;
    std::string suffix;
    Headers headers;                             // sent in this order, after the status line
    double delaySeconds = 0;                     // before the status line
    double chunkDelaySeconds = 0;                // between body writes
    double headerDelaySeconds = 0;               // before each of `headers`: a header block that drips
    std::uint32_t chunkSize = 0;                 // bytes per body write; 0 keeps the server's 64 KiB
    bool noContentLength = false;                // the body ends when the server closes the connection
    std::optional<std::uint64_t> contentLength;  // announced length, whatever the body holds; closes after it
    std::optional<std::uint64_t> closeAfter;     // cut the connection (no TLS close) after this many body bytes
    bool drop = false;                           // close the connection without answering (after `delaySeconds`)
    std::string redirect;                        // Location header
    bool chunked = false;                        // chunked transfer coding
    // With `chunked`: where the body ends (or `closeAfter` cuts it), a chunk whose size line is this text, then a cut.
    std::string badChunkSize;
    // With `chunked` and `closeAfter`: the last chunk's size line announces the whole chunk; the cut comes inside it.
    bool cutInsideChunk = false;
    bool cutHeaders = false;  // cut the connection after the headers, before the blank line that ends them
    // Honour "Range: bytes=N-" for a `bodySize` body (If-Range must equal the ETag, else the Last-Modified, of
    // `headers`): 206 with the rest, or 416 past the end; announces "Accept-Ranges: bytes". `closeAfter` counts
    // the bytes of this answer.
    bool ranges = false;
};

// One request as the backend received it.
struct Request {
    std::string method;
    std::string path;             // without the query
    std::string query;            // after "?", without it
    std::string target;           // the request target as sent
    Headers headers;              // in the order sent, names as sent
    std::string body;             // raw bytes
    double time = 0;              // seconds since the backend started, for measuring pauses between requests
    std::string listener;         // "https", "http" (HttpUrl), "tls10" (Tls10Url) or "othername" (OtherNameUrl)
    std::uint64_t bodyBytes = 0;  // body bytes of the answer the server wrote (or was about to write) so far
    bool refused = false;         // reset unanswered while the backend refused (Refuse)

    // Value of the first header with this name (compared without case), or "" when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

// The byte at `index` of a generated body without a pattern: index % 251.
inline std::uint8_t GeneratedByte(std::uint64_t index) {
    return static_cast<std::uint8_t>(index % 251);
}

// Forgets every script and every recorded request.
void Reset();

// Scripts the exact path `path` (no query). An empty list removes the script.
void Script(const std::string& path, const std::vector<Response>& responses);

// Scripts every path that starts with `prefix` and has no exact script; the longest prefix wins.
void ScriptPrefix(const std::string& prefix, const std::vector<Response>& responses);

// Requests received so far (only those for `path` when it is not empty), in arrival order. With `atLeast`, waits
// up to `timeoutSeconds` until that many are there and returns what arrived by then.
std::vector<Request> Requests(const std::string& path = "", size_t atLeast = 0, double timeoutSeconds = 0);

// Forgets the recorded requests (and connections) but keeps the scripts.
void ClearRequests();

// One connection accepted by a listener, recorded before any TLS or HTTP.
struct Connection {
    std::string listener;
    double time = 0;
};
std::vector<Connection> Connections();

// For `seconds` every request outside the control API is recorded (Request::refused) and its connection reset
// unanswered, as by a server that is down; 0 ends it.
void Refuse(double seconds);

// The next `count` connections to the HTTPS port are reset before the TLS handshake, before a request could be
// sent: a server that refuses connections for a moment. Whoever makes them, the control calls too: arm it just
// before the code under test connects, and call the backend again only once that code is done.
void ResetConnections(int count);

// "https://localhost" + path: a URL of the backend.
std::wstring Url(const std::string& path);
// The same scripts in cleartext: "http://localhost" + path.
std::wstring HttpUrl(const std::string& path);
// The same scripts behind a listener that offers nothing newer than TLS 1.0.
std::wstring Tls10Url(const std::string& path);
// The same path on the listener whose certificate, of the test CA, names another host than localhost.
std::wstring OtherNameUrl(const std::string& path);

}  // namespace backend
