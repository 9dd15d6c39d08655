// Where a download's bytes are written while it runs, and how a complete file is put in place.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/DownloadResult.h"
#include "win32/Handle.h"

namespace download {

// The output file of a download: written under a temporary name in the target's folder and put in place only
// once it is complete, so that a failed download leaves nothing behind; a complete one never replaces a file
// that was there before either. From its creation to its new name nobody else may write, rename or delete it, and
// the name is given to the open file itself, so that the name stands for the bytes written. Chunks are gathered into
// large writes: the network hands them over a few kilobytes at a time, and each write costs a system call. Every member
// may be called from any thread: a transfer that is given up on is closed by its watcher while its own thread may still
// be writing.
class PartialFile {
public:
    // A new temporary file beside `targetPath`, or the one of an earlier attempt at `keptPath`, whose bytes stay
    // until StartAt says where the body goes.
    explicit PartialFile(std::wstring targetPath, std::wstring keptPath = std::wstring());
    // Discards the file unless it was put in place or kept.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Raises "Failed to open file for writing: ..." with the error of the attempt when the file is not open. The
    // engines call it only after the server has answered, so that a server's refusal takes precedence over a
    // local problem.
    void RequireOpen() const;
    // The body that follows begins at byte `offset` of the file: the bytes before it stay, those after it go.
    void StartAt(std::uint64_t offset);
    // Raises "Failed to write file: ..." when the system takes less than everything.
    void Write(const char* data, DWORD size);
    // Writes what is gathered; when `length` is known, opens it once more and compares its size (the
    // incomplete-download text on a difference, `openFailure` when it cannot be opened); then gives the open file
    // the target's name, or the next free numbered name beside a file of that name, which it never replaces, and
    // closes it. Returns the path the file was saved under.
    std::wstring Complete(std::optional<std::uint64_t> length, const wchar_t* openFailure);
    // After Complete: the file that was written, for whoever holds it by its name next to make sure it is the same.
    FileId SavedId() const;
    // Closes and deletes the temporary file; later writes fail. Does nothing once the file is in place.
    void Discard();
    // Writes what is gathered and closes the file, leaving it for a later attempt; later writes fail. Returns its
    // path, which the caller now owns; empty when there is no file.
    std::wstring Keep();

private:
    void Flush();

    mutable std::mutex m_mutex;
    std::wstring m_targetPath;
    std::wstring m_temporaryPath;
    win32::FileHandle m_file;
    DWORD m_openError = ERROR_SUCCESS;
    bool m_closed = false;
    FileId m_savedId;
    std::vector<char> m_pending;
};

}  // namespace download
