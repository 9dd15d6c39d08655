#include "download/PartialFile.h"

#include <algorithm>
#include <new>

#include "download/AnswerRules.h"
#include "download/DownloadLimits.h"
#include "download/Failure.h"
#include "download/SavedName.h"
#include "win32/PathRules.h"

namespace download {
namespace {

constexpr size_t kWriteBlockBytes = 1024 * 1024;

void WriteThrough(HANDLE file, const char* data, DWORD size) {
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr))
        FailWithLastError(L"Failed to write file: %d - %ls");
    if (written != size)
        FailWithCode(L"Failed to write file: %d - %ls", ERROR_DISK_FULL);
}

// While the file is written and until it has its name, others may read it and nothing more.
constexpr DWORD kWriterAccess = GENERIC_WRITE | DELETE;
constexpr DWORD kWriterSharing = FILE_SHARE_READ;

// Renames the open `file`, whatever its name is now; false with the system's error when it cannot.
bool RenameOpenFile(HANDLE file, const std::wstring& target) {
    const size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes, 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::copy(target.begin(), target.end(), rename->FileName);
    return ::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

// Gives the open `file` the name `target`, or the next free numbered name beside it, and returns it. Nothing is
// ever replaced: a file of that name (a document of the user's, an older copy) stays as it is. Each name is
// tried by the rename itself, never checked first, so a file that appears meanwhile is not replaced either.
std::wstring MoveToFreeName(HANDLE file, const std::wstring& target) {
    const size_t slash = target.rfind(L'\\');
    const std::wstring folder = target.substr(0, slash + 1);
    const std::wstring name = target.substr(slash + 1);
    const size_t maxChars =
        folder.size() < MAX_PATH - 1 ? std::min(path_rules::kMaxFileNameChars, MAX_PATH - 1 - folder.size()) : 0;
    for (int number = 0; number <= kMaxSavedNameNumber; ++number) {
        std::wstring candidate = target;
        if (number > 0) {
            const std::wstring numbered = MakeNumberedName(name, number, maxChars);
            if (numbered.empty() || !path_rules::IsPlainFileName(numbered))
                break;
            candidate = folder + numbered;
        }
        if (RenameOpenFile(file, candidate))
            return candidate;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            FailWithCode(L"Failed to put the downloaded file in place: %d - %ls", error);
    }
    FailFinally(L"Failed to put the downloaded file in place: no free name beside " + QuotedValue(name) + L".");
}

}  // namespace

PartialFile::PartialFile(std::wstring targetPath, std::wstring keptPath) : m_targetPath(std::move(targetPath)) {
    const size_t slash = m_targetPath.rfind(L'\\');
    if (slash == std::wstring::npos) {
        // No target (the folder is missing): nothing may be written, and above all not in the current folder.
        m_openError = ERROR_PATH_NOT_FOUND;
        return;
    }
    if (!keptPath.empty()) {
        m_temporaryPath = std::move(keptPath);
        m_file.Reset(::CreateFileW(m_temporaryPath.c_str(), kWriterAccess, kWriterSharing, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER end{};
        if (m_file && ::SetFilePointerEx(m_file.Get(), LARGE_INTEGER{}, &end, FILE_END))
            return;
        // The kept bytes are lost to this attempt: it begins a file of its own.
        m_file.Reset();
        ::DeleteFileW(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
    wchar_t temporary[MAX_PATH] = {};
    if (!::GetTempFileNameW(m_targetPath.substr(0, slash).c_str(), L"wf", 0, temporary)) {
        m_openError = ::GetLastError();
        return;
    }
    m_temporaryPath = temporary;
    m_file.Reset(::CreateFileW(temporary, kWriterAccess, kWriterSharing, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    if (!m_file) {
        m_openError = ::GetLastError();
        ::DeleteFileW(temporary);
        m_temporaryPath.clear();
    }
}

PartialFile::~PartialFile() {
    Discard();
}

void PartialFile::RequireOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        Fail(L"Download abandoned.");
    if (!m_file)
        FailWithCode(L"Failed to open file for writing: %d - %ls", m_openError);
}

void PartialFile::StartAt(std::uint64_t offset) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || !m_file)
        Fail(L"Download abandoned.");
    Flush();
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(m_file.Get(), position, nullptr, FILE_BEGIN) || !::SetEndOfFile(m_file.Get()))
        FailWithLastError(L"Failed to write file: %d - %ls");
}

void PartialFile::Write(const char* data, DWORD size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || !m_file)
        Fail(L"Download abandoned.");
    if (m_pending.size() + size > kWriteBlockBytes)
        Flush();
    if (size >= kWriteBlockBytes) {
        WriteThrough(m_file.Get(), data, size);
        return;
    }
    // The one allocation of a transfer that is not the engine's: in a 32-bit process it may fail, and the
    // failure must end the attempt, not escape it.
    try {
        if (m_pending.capacity() == 0)
            m_pending.reserve(kWriteBlockBytes);
        m_pending.insert(m_pending.end(), data, data + size);
    } catch (const std::bad_alloc&) {
        Fail(L"Out of memory.");
    }
}

void PartialFile::Flush() {
    if (!m_pending.empty())
        WriteThrough(m_file.Get(), m_pending.data(), static_cast<DWORD>(m_pending.size()));
    m_pending.clear();
}

std::wstring PartialFile::Complete(std::optional<std::uint64_t> length, const wchar_t* openFailure) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || !m_file)
        Fail(L"Download abandoned.");
    Flush();
    if (length) {
        win32::FileHandle file(::CreateFileW(m_temporaryPath.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!file || !::GetFileSizeEx(file.Get(), &size)) {
            if (std::wcsstr(openFailure, L"%d") != nullptr)
                FailWithLastError(openFailure);
            Fail(openFailure);
        }
        const auto downloaded = static_cast<std::uint64_t>(size.QuadPart);
        // A connection cut before the end reads like the body's end to both engines; a body longer than its
        // announced length would come the same way again.
        if (downloaded < *length)
            FailPassing(IncompleteText(*length, downloaded));
        if (downloaded != *length)
            Fail(IncompleteText(*length, downloaded));
    }
    std::wstring savedPath = MoveToFreeName(m_file.Get(), m_targetPath);
    m_savedId = FileIdOf(m_file.Get());
    m_file.Reset();
    m_temporaryPath.clear();
    m_closed = true;
    return savedPath;
}

FileId PartialFile::SavedId() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_savedId;
}

std::wstring PartialFile::Keep() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        return {};
    m_closed = true;
    try {
        if (m_file)
            Flush();
    } catch (const Failure&) {
        // What reached the disk is still the body's beginning, in order; the next attempt continues after it.
    }
    m_pending.clear();
    m_file.Reset();
    std::wstring path;
    path.swap(m_temporaryPath);
    return path;
}

void PartialFile::Discard() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_pending.clear();
    m_file.Reset();
    if (!m_temporaryPath.empty())
        ::DeleteFileW(m_temporaryPath.c_str());
    m_temporaryPath.clear();
}

}  // namespace download
