// The one failure of the download layer: a text that keeps every character of the names and addresses it quotes,
// and the kind that tells what may follow it. Every step of a transfer raises it; the attempt that ran the step
// turns it into an outcome.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace download {

// What kind of failure ended an attempt (AttemptOutcome::failure), which decides what is tried next.
enum class FailureKind {
    // It may pass: the connection was cut, refused or fell silent, or the server said it is busy.
    Passing,
    // Another attempt of the same engine would meet it again; the other engine may not.
    Lasting,
    // It lies in what the server answered, in a security verdict or in the file name: the other engine would meet
    // it just the same, and must not accept what the first rightly refused.
    Final,
};

// Not a std::exception: nothing that catches those by habit should take a download's failure for another.
class Failure {
public:
    // Every server value in `text` is quoted with QuotedValue. A passing failure may name the pause the server
    // asked for (`retryAfter`) and say that the bytes kept so far must not be continued (`restart`): the server no
    // longer vouches that they belong to the file.
    Failure(FailureKind kind,
            std::wstring text,
            std::optional<std::chrono::milliseconds> retryAfter = std::nullopt,
            bool restart = false)
        : m_kind(kind), m_text(std::move(text)), m_retryAfter(retryAfter), m_restart(restart) {}

    FailureKind Kind() const { return m_kind; }
    const std::wstring& Text() const { return m_text; }
    std::optional<std::chrono::milliseconds> RetryAfter() const { return m_retryAfter; }
    bool Restart() const { return m_restart; }

private:
    FailureKind m_kind;
    std::wstring m_text;
    std::optional<std::chrono::milliseconds> m_retryAfter;
    bool m_restart;
};

// `text` as a failure text may carry it: control characters become "?", the marks that turn text around or hide
// it are dropped, and it ends after kMaxFailureTextChars. Server values reach failure texts, and failure texts
// reach the error event and the run log.
std::wstring CleanFailureText(std::wstring text);
// A server value (a URL, a file name, a header) as a failure text quotes it: its first kQuotedValueChars, cleaned,
// in double quotes.
std::wstring QuotedValue(const std::wstring& value);

// The system's text for a Win32 error code as the system returns it (line break included); empty when the system
// has none, as for most WinHTTP and WinINet codes.
std::wstring SystemMessage(unsigned long code);
// The same without its closing line break, as a failure text quotes it.
std::wstring SystemErrorText(unsigned long code);
// `format`, which holds "%d" and then "%ls", filled with `code` as a signed number and its SystemErrorText.
std::wstring TextWithCode(const wchar_t* format, unsigned long code);

// Raise a download::Failure of the kind the name says (Fail: one that another attempt of the same engine would
// meet again).
[[noreturn]] void Fail(const std::wstring& text);
[[noreturn]] void FailFinally(const std::wstring& text);
[[noreturn]] void FailPassing(const std::wstring& text,
                              std::optional<std::chrono::milliseconds> retryAfter = std::nullopt,
                              bool restart = false);
// FailWithCode, as a failure that may pass.
[[noreturn]] void FailPassingWithCode(const wchar_t* format, unsigned long code);
// A failed exchange with the server, `code` its error: final when `verdict` (the server's certificate or TLS was
// refused, which asking again would meet again), otherwise (a connection refused, reset or timed out) one that may
// pass.
[[noreturn]] void FailExchange(const wchar_t* format, unsigned long code, bool verdict);
// Raises `format`, which holds "%d" and then "%ls", filled with `code` as a signed number and its system text.
[[noreturn]] void FailWithCode(const wchar_t* format, unsigned long code);
// FailWithCode with the calling thread's last error.
[[noreturn]] void FailWithLastError(const wchar_t* format);
// `tag` followed by the text of a caught failure.
std::wstring TagFailure(const wchar_t* tag, const Failure& failure);

}  // namespace download
