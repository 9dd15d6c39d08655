#include "download/DownloadManager.h"

#include <shlwapi.h>

#include <cstdint>
#include <cwchar>
#include <mutex>
#include <thread>

#include "config/ConfigurationManager.h"
#include "diagnostics/RunFacts.h"
#include "diagnostics/RunLog.h"
#include "download/DownloadSupport.h"
#include "ui/Window.h"

std::shared_ptr<DownloadManager> DownloadManager::GetInstance() {
    static std::once_flag once;
    static std::shared_ptr<DownloadManager> instance;
    std::call_once(once, [] { instance = Create(ConfigurationManager::GetInstance()); });
    return instance;
}

std::shared_ptr<DownloadManager> DownloadManager::Create(std::shared_ptr<ConfigurationManager> configuration) {
    return std::shared_ptr<DownloadManager>(new DownloadManager(std::move(configuration)));
}

DownloadManager::DownloadManager(std::shared_ptr<ConfigurationManager> configuration)
    : m_configuration(std::move(configuration)) {}

DownloadManager::~DownloadManager() {
    m_cancelled = true;
}

DownloadResult DownloadManager::DownloadFile(const std::wstring& url,
                                             HWND notifyWindow,
                                             const std::wstring& fileName,
                                             bool useTemporaryFolder) {
    bool final = false;
    std::uint64_t started = diagnostics::GetTickMs();
    DownloadResult result = DownloadFileWinHttp(url, notifyWindow, fileName, useTemporaryFolder, final);
    diagnostics::RecordDownload(url, "WinHTTP", result.first, result.second, m_lastDownloadPath, started);
    if (result.first || final)
        return result;

    // Whatever stopped WinHTTP (a proxy it cannot use, a TLS setting, a cut connection, the user leaving), the
    // second engine starts over from the first URL after a pause.
    ::Sleep(static_cast<DWORD>(m_fallbackDelay.count()));
    started = diagnostics::GetTickMs();
    DownloadResult rescue = DownloadFileWinInet(url, notifyWindow, fileName, useTemporaryFolder);
    diagnostics::RecordDownload(url, "WinINet", rescue.first, rescue.second, m_lastDownloadPath, started);
    if (rescue.first) {
        result.first = true;
        return result;
    }
    // Neither engine left anything behind: each wrote under a temporary name that it removed when it failed.
    result.second += rescue.second;
    return result;
}

void DownloadManager::DownloadToMemoryAsync(const std::wstring& url, DownloadCallback callback) {
    // The thread owns a share of the manager, so a manager released elsewhere (at process end, say) stays alive
    // until the thread is done with it.
    std::thread worker([manager = shared_from_this(), url, callback = std::move(callback)]() {
        // Nothing may escape a detached thread: it would end the process.
        try {
            const std::uint64_t started = diagnostics::GetTickMs();
            DownloadedBytes bytes = manager->DownloadToMemory(url);
            if (manager->m_cancelled)
                bytes.reset();
            diagnostics::Record("image %ls status=%s bytes=%zu ms=%llu", url.substr(0, url.find(L'?')).c_str(),
                                bytes && !bytes->empty() ? "done" : "failed", bytes ? bytes->size() : size_t{0},
                                diagnostics::GetTickMs() - started);
            if (callback)
                callback(std::move(bytes));
        } catch (...) {
        }
    });
    worker.detach();
}

std::wstring DownloadManager::SelectFolder(bool useTemporaryFolder) const {
    return useTemporaryFolder ? m_configuration->m_tempFolder : m_configuration->m_downloadFolder;
}

std::wstring DownloadManager::MakeDownloadPath(const std::wstring& fileName, bool useTemporaryFolder) {
    const std::wstring folder = SelectFolder(useTemporaryFolder);
    if (!::PathIsDirectoryW(folder.c_str())) {
        ui::ShowAppMessageBox(L"Invalid path", MB_OK);
        return {};
    }
    if (!IsPlainFileName(fileName) || folder.size() >= MAX_PATH)
        return {};
    wchar_t path[MAX_PATH] = {};
    std::wmemcpy(path, folder.c_str(), folder.size());
    if (!::PathAppendW(path, fileName.c_str()))
        return {};
    return path;
}

std::wstring DownloadManager::MakeDownloadPathFromUrl(const std::wstring& url, bool useTemporaryFolder) {
    return MakeDownloadPath(LastUrlSegment(url), useTemporaryFolder);
}

std::wstring DownloadManager::ResolveTargetPath(const std::wstring& url,
                                                const std::wstring& fileName,
                                                bool useTemporaryFolder) {
    const std::wstring name = fileName.empty() ? LastUrlSegment(url) : fileName;
    // Refused before any request: a name that could reach outside the folder, or that Windows would read as a
    // device or a stream, must never be written, whatever the server sends.
    if (!IsPlainFileName(name))
        download::Fail(L"Invalid file name for the download: \"" + name.substr(0, 200) + L"\"");
    return MakeDownloadPath(name, useTemporaryFolder);
}

std::wstring DownloadManager::GetSystemErrorText(DWORD code) {
    // Inserts are ignored: a system text with placeholders would otherwise be read against arguments that were
    // never passed.
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length > 0 && buffer != nullptr)
        text.assign(buffer, length);
    ::LocalFree(buffer);
    return text;
}

std::wstring LastUrlSegment(const std::wstring& url) {
    const size_t slash = url.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring() : url.substr(slash + 1);
}

namespace {

wchar_t ToUpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (with the superscript digits), CONIN$ and CONOUT$ name devices whatever
// extension follows them, and Windows ignores spaces before that extension.
bool IsDeviceName(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (wchar_t& c : base)
        c = ToUpperAscii(c);
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (base == device)
            return true;
    }
    if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)) {
        const wchar_t digit = base[3];
        return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
    }
    return false;
}

}  // namespace

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name.size() > 255)
        return false;
    for (wchar_t c : name) {
        if (c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c) != nullptr)
            return false;
    }
    if (name.find(L"..") != std::wstring::npos || name.back() == L'.' || name.back() == L' ')
        return false;
    return !IsDeviceName(name);
}
