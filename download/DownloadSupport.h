// Pieces shared by the WinHTTP and WinINet engines, which cannot share a translation unit because their headers
// collide. Inside an engine every failure is a std::runtime_error whose message is the failure text in the
// thread's ANSI code page; each engine catches it at its boundary and prefixes its tag.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "win32/Handle.h"

namespace download {

[[noreturn]] void Fail(const std::wstring& text);
// Raises `format`, which holds "%d" and then "%ls", filled with `code` as a signed number and its system text.
[[noreturn]] void FailWithCode(const wchar_t* format, DWORD code);
[[noreturn]] inline void FailWithLastError(const wchar_t* format) {
    FailWithCode(format, ::GetLastError());
}
// `tag` followed by the message of a caught failure, back in UTF-16.
std::wstring TagFailure(const wchar_t* tag, const std::runtime_error& error);

// The download's output file: created or truncated, shared with everyone, written in the order received. A file
// that could not be opened keeps the error code of the attempt, which is reported only after the server has
// answered, so that a server's refusal takes precedence over a local problem. Chunks are gathered into large
// writes: the network hands them over a few kilobytes at a time, and each write costs a system call.
class OutputFile {
public:
    explicit OutputFile(const std::wstring& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool IsOpen() const { return m_file.IsValid(); }
    // Raises "Failed to open file for writing: ..." with the error of the attempt when the file is not open.
    void RequireOpen() const;
    // Raises "Failed to write file: ..." when the system takes less than everything.
    void Write(const char* data, DWORD size);
    // Writes what is gathered and closes the file; raises like Write.
    void Close();

private:
    void Flush();

    win32::FileHandle m_file;
    DWORD m_openError = ERROR_SUCCESS;
    std::vector<char> m_pending;
};

// Posts the progress of one transfer to a window: the marquee message when the length is unknown, otherwise a
// percentage each time the transferred share has grown by more than one point since the last one posted, and
// 100 at the end.
class ProgressReporter {
public:
    explicit ProgressReporter(HWND window) : m_window(window) {}
    // Starts a transfer of `length` bytes, or switches the window to its marquee when the length is unknown.
    void Start(bool lengthKnown, DWORD length);
    void AddChunk(DWORD bytes);
    void ReportComplete();

private:
    void Post(UINT message, WPARAM value) const;

    HWND m_window;
    DWORD m_length = 0;
    double m_fraction = 0.0;
    double m_reported = 0.0;
};

// Reopens the finished file and compares its size with the announced length; raises the incomplete-download
// text on a difference. `openFailure` is the text raised when the file cannot be reopened; when it holds "%d",
// it is filled with the error code and its system text.
void CheckCompleteness(const std::wstring& path, std::uint64_t length, const wchar_t* openFailure);

}  // namespace download
