// The WinINet engine: the rescue for installer downloads that WinHTTP could not complete. It uses the system's
// preconfigured proxy settings and follows redirects by itself.
#include "download/DownloadManager.h"

#include <wininet.h>

#include "download/DownloadSupport.h"
#include "win32/Strings.h"

using download::Fail;
using download::FailWithLastError;

namespace {

const wchar_t kWinInetTag[] = L" [WININET]";
constexpr DWORD kReadBufferBytes = 4096;

}  // namespace

DownloadResult DownloadManager::DownloadFileWinInet(const std::wstring& url,
                                                    HWND notifyWindow,
                                                    const std::wstring& fileName,
                                                    bool useTemporaryFolder) {
    DownloadResult result{false, std::wstring()};
    try {
        const std::wstring targetPath = ResolveTargetPath(url, fileName, useTemporaryFolder);
        download::OutputFile file(targetPath);
        download::ProgressReporter progress(notifyWindow);

        win32::InternetHandle session(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!session)
            FailWithLastError(L"Failed to initialize WinINet:: %d - %ls");
        win32::InternetHandle request(
            ::InternetOpenUrlW(session.Get(), url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
        if (!request)
            FailWithLastError(L"Failed to open URL:: %d - %ls");

        DWORD status = 0;
        DWORD size = sizeof(status);
        if (!::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
            FailWithLastError(L"Failed to query HTTP status code: %d - %ls");
        if (status != 200) {
            const std::wstring systemText = GetSystemErrorText(::GetLastError());
            Fail(win32::FormatWide(L"Server returned status code: HTTP %d - %ls", static_cast<int>(status),
                                   systemText.c_str()));
        }

        DWORD length = 0;
        size = sizeof(length);
        const bool lengthKnown = ::HttpQueryInfoW(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                                  &length, &size, nullptr) != FALSE;
        if (lengthKnown)
            progress.SetLength(length);
        else
            progress.ReportUnknownLength();

        if (!file.IsOpen())
            download::FailWithCode(L"Failed to open file for writing: %d - %ls", file.GetOpenError());
        char buffer[kReadBufferBytes];
        for (;;) {
            DWORD read = 0;
            // A read that fails is a cut transfer, not the end of the body: without an announced length nothing
            // else would tell a truncated installer from a whole one.
            if (!::InternetReadFile(request.Get(), buffer, kReadBufferBytes, &read))
                FailWithLastError(L"Failed to read data: %d - %ls");
            if (read == 0)
                break;
            file.Write(buffer, read);
            progress.AddChunk(read);
        }
        file.Close();
        if (lengthKnown)
            download::CheckCompleteness(targetPath, length, L"Failed to open downloaded file: %d - %ls");

        m_lastDownloadPath = targetPath;
        progress.ReportComplete();
        result.first = true;
    } catch (const std::runtime_error& error) {
        result.second = download::TagFailure(kWinInetTag, error);
    }
    return result;
}
