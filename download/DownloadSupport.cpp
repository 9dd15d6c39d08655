#include "download/DownloadSupport.h"

#include <cwchar>

#include "download/DownloadManager.h"
#include "pages/IPage.h"
#include "win32/Strings.h"

namespace download {
namespace {

constexpr unsigned kThreadAnsiCodePage = 3;  // CP_THREAD_ACP
constexpr size_t kWriteBlockBytes = 1024 * 1024;

void WriteThrough(HANDLE file, const char* data, DWORD size) {
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr))
        FailWithLastError(L"Failed to write file: %d - %ls");
    if (written != size)
        FailWithCode(L"Failed to write file: %d - %ls", ERROR_DISK_FULL);
}

}  // namespace

void Fail(const std::wstring& text) {
    throw std::runtime_error(win32::WideToMultiByte(text, kThreadAnsiCodePage));
}

void FailWithCode(const wchar_t* format, DWORD code) {
    const std::wstring systemText = DownloadManager::GetSystemErrorText(code);
    Fail(win32::FormatWide(format, static_cast<int>(code), systemText.c_str()));
}

std::wstring TagFailure(const wchar_t* tag, const std::runtime_error& error) {
    return tag + win32::MultiByteToWide(error.what(), kThreadAnsiCodePage);
}

OutputFile::OutputFile(const std::wstring& path) {
    m_file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file)
        m_openError = ::GetLastError();
}

OutputFile::~OutputFile() {
    // A file abandoned half-way is deleted or rewritten by the caller; what is still pending is dropped.
    m_file.Reset();
}

void OutputFile::Write(const char* data, DWORD size) {
    if (m_pending.capacity() == 0)
        m_pending.reserve(kWriteBlockBytes);
    if (m_pending.size() + size > kWriteBlockBytes)
        Flush();
    if (size >= kWriteBlockBytes) {
        WriteThrough(m_file.Get(), data, size);
        return;
    }
    m_pending.insert(m_pending.end(), data, data + size);
}

void OutputFile::RequireOpen() const {
    if (!IsOpen())
        FailWithCode(L"Failed to open file for writing: %d - %ls", m_openError);
}

void OutputFile::Flush() {
    if (!m_pending.empty())
        WriteThrough(m_file.Get(), m_pending.data(), static_cast<DWORD>(m_pending.size()));
    m_pending.clear();
}

void OutputFile::Close() {
    if (m_file)
        Flush();
    m_file.Reset();
}

void ProgressReporter::Post(UINT message, WPARAM value) const {
    if (m_window != nullptr)
        ::PostMessageW(m_window, message, value, 0);
}

void ProgressReporter::Start(bool lengthKnown, DWORD length) {
    m_length = lengthKnown ? length : 0;
    if (!lengthKnown)
        Post(WM_DOWNLOAD_MARQUEE, 0);
}

void ProgressReporter::AddChunk(DWORD bytes) {
    // Without a length there is no share to report: the window keeps its marquee.
    if (m_length == 0)
        return;
    m_fraction += static_cast<double>(bytes) / static_cast<double>(m_length);
    if (m_fraction - m_reported > 0.01) {
        Post(WM_DOWNLOAD_PROGRESS, static_cast<WPARAM>(m_fraction * 100.0));
        m_reported = m_fraction;
    }
}

void ProgressReporter::ReportComplete() {
    if (m_length > 0)
        Post(WM_DOWNLOAD_PROGRESS, 100);
}

void CheckCompleteness(const std::wstring& path, std::uint64_t length, const wchar_t* openFailure) {
    win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size)) {
        if (std::wcsstr(openFailure, L"%d") != nullptr)
            FailWithLastError(openFailure);
        Fail(openFailure);
    }
    const auto downloaded = static_cast<std::uint64_t>(size.QuadPart);
    if (downloaded != length) {
        Fail(win32::Utf8ToWide("Download was incomplete: content length: " + std::to_string(length) +
                               ", downloaded: " + std::to_string(downloaded)));
    }
}

}  // namespace download
