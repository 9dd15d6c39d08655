#include "download/InstallerLaunch.h"

#include "config/ConfigurationManager.h"
#include "diagnostics/RunLog.h"
#include "download/Failure.h"
#include "win32/Strings.h"

#include <shellapi.h>
#include <shldisp.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <stdexcept>

namespace {

// The Shell automation object and its dispatch interface.
const CLSID kClsidShell = {0x13709620, 0xC279, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kIidShellDispatch = {0xD8F015C0, 0xC278, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// No progress dialog, yes to all, folders created without asking, no error dialog.
constexpr long kCopyOptions = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;

// A numbered twin of the extraction folder is tried when the name is taken by a file; this many at most.
constexpr int kExtractFolderAttempts = 100;

std::mutex g_extractorMutex;
ZipExtractor g_extractor;

bool Extract(BSTR archive, BSTR destination) {
    ZipExtractor extractor;
    {
        std::lock_guard<std::mutex> lock(g_extractorMutex);
        extractor = g_extractor;
    }
    return extractor ? extractor(archive, destination) : ExtractZip(archive, destination);
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

enum class FolderState { Ready, TakenByFile, Failed };

FolderState PrepareFolder(const std::wstring& folder) {
    if (::CreateDirectoryW(folder.c_str(), nullptr))
        return FolderState::Ready;
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
        return FolderState::Failed;
    // An existing name is reused only when it is a folder: a file of that name (the archive itself, when its
    // name has no extension) is no place to unpack into.
    return IsDirectory(folder) ? FolderState::Ready : FolderState::TakenByFile;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\')
        return folder + name;
    return folder + L'\\' + name;
}

wchar_t Digit(bool flag) {
    return flag ? L'1' : L'0';
}

// Sixteen digits from the eight option flags, in the order the main installer reads them.
std::wstring MakeOptionDigits(const std::array<bool, 8>& flags) {
    std::wstring digits;
    digits += Digit(flags[5]);
    digits += Digit(flags[6]);
    digits += Digit(flags[3]);
    digits += L"00";
    digits += Digit(flags[4]);
    digits += L"0101";
    digits += Digit(flags[7]);
    digits += Digit(flags[5]);
    digits += Digit(flags[1]);
    digits += Digit(flags[2]);
    digits += Digit(flags[0]);
    digits += L"0";
    return digits;
}

// The Shell's folder object for `path` (a folder, or an archive the Shell can browse); empty when it has none.
win32::ComPtr<Folder> OpenShellFolder(IShellDispatch& shell, BSTR path) {
    // The variant borrows the caller's string and is not cleared.
    VARIANT name;
    ::VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = path;
    win32::ComPtr<Folder> folder;
    if (FAILED(shell.NameSpace(name, folder.Put())))
        folder.Reset();
    return folder;
}

}  // namespace

const wchar_t kWaitCancelledMessage[] = L"Wait stopped: the installer is still running";

WaitCancellation::WaitCancellation() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!m_event)
        throw std::runtime_error("Cannot create the event that stops an installer wait");
}

void WaitCancellation::Cancel() const {
    ::SetEvent(m_event.Get());
}

bool WaitCancellation::IsCancelled() const {
    return ::WaitForSingleObject(m_event.Get(), 0) == WAIT_OBJECT_0;
}

int DetectArchiveType(const std::wstring& path) {
    win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ArchiveNone;
    unsigned char bytes[6] = {};
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes, sizeof(bytes), &read, nullptr) || read == 0)
        return ArchiveNone;
    static const unsigned char kZip[] = {0x50, 0x4B, 0x03, 0x04};
    static const unsigned char k7z[] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
    if (read >= sizeof(kZip) && std::equal(std::begin(kZip), std::end(kZip), bytes))
        return ArchiveZip;
    if (read >= sizeof(k7z) && std::equal(std::begin(k7z), std::end(k7z), bytes))
        return Archive7z;
    return ArchiveNone;
}

std::wstring ResolveInstallerPath(const std::wstring& path, int archiveType, const std::wstring& baseFolder) {
    // A 7-Zip archive is recognised but not unpacked: it is run as it is, and that launch fails.
    if (archiveType != ArchiveZip)
        return path;
    const std::wstring folder = CreateExtractFolder(path, baseFolder);
    bool extracted = false;
    {
        win32::BString archive(path);
        win32::BString destination(folder);
        extracted = Extract(archive.Get(), destination.Get());
    }
    if (extracted) {
        const std::wstring name = FindFirstExe(folder);
        if (!name.empty())
            return JoinPath(folder, name);
    }
    return path;
}

std::wstring CreateExtractFolder(const std::wstring& path, const std::wstring& baseFolder) {
    std::wstring name;
    const size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos)
        name = path.substr(slash);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    const std::wstring folder = baseFolder + name;
    for (int attempt = 0; attempt < kExtractFolderAttempts; ++attempt) {
        const std::wstring candidate = attempt == 0 ? folder : folder + L"." + std::to_wstring(attempt);
        const FolderState state = PrepareFolder(candidate);
        if (state == FolderState::Ready)
            return candidate;
        // Only a name taken by a file is worth another try; any other failure means no folder can be made here.
        if (state == FolderState::Failed)
            break;
    }
    return baseFolder;
}

bool ExtractZip(BSTR archive, BSTR destination) {
    // Declared first, so that every interface below is released before COM is left.
    win32::ComInitialization com;

    win32::ComPtr<IShellDispatch> shell;
    if (FAILED(::CoCreateInstance(kClsidShell, nullptr, CLSCTX_INPROC_SERVER, kIidShellDispatch, shell.PutVoid())) ||
        !shell)
        return false;

    win32::ComPtr<Folder> source = OpenShellFolder(*shell.Get(), archive);
    if (!source)
        return false;
    win32::ComPtr<Folder> target = OpenShellFolder(*shell.Get(), destination);
    if (!target)
        return false;

    win32::ComPtr<FolderItems> items;
    if (FAILED(source->Items(items.Put())) || !items)
        return false;
    long count = 0;
    if (FAILED(items->get_Count(&count)) || count < 1)
        return false;

    win32::ComPtr<IDispatch> itemsDispatch;
    if (FAILED(items->QueryInterface(IID_IDispatch, itemsDispatch.PutVoid())) || !itemsDispatch)
        return false;
    VARIANT itemsValue;
    ::VariantInit(&itemsValue);
    itemsValue.vt = VT_DISPATCH;
    itemsValue.pdispVal = itemsDispatch.Get();
    VARIANT options;
    ::VariantInit(&options);
    options.vt = VT_I4;
    options.lVal = kCopyOptions;
    return target->CopyHere(itemsValue, options) == S_OK;
}

std::wstring FindFirstExe(const std::wstring& folder) {
    const std::wstring pattern = JoinPath(folder, L"*.exe");
    // A pattern the system would cut short would search another folder: none is searched instead.
    if (pattern.size() >= MAX_PATH)
        return {};
    WIN32_FIND_DATAW entry{};
    win32::FindHandle search(::FindFirstFileW(pattern.c_str(), &entry));
    if (!search)
        return {};
    while ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (!::FindNextFileW(search.Get(), &entry))
            return {};
    }
    return entry.cFileName;
}

std::wstring MakeInstallerArguments(const LaunchArguments& launch, const ConfigurationManager& configuration) {
    if (!launch.isMain)
        return win32::Utf8ToWide(launch.serverArguments);
    if (configuration.m_sorrelFlavour)
        return L"/S /FORCEINSTALL " + MakeOptionDigits(configuration.m_sorrelOptions);
    return configuration.m_installerArguments;
}

StartedProcess StartProcess(const std::wstring& path, const std::wstring& arguments) {
    StartedProcess started;
    // The path is quoted, so a path with spaces cannot run into the arguments; the buffer must be writable.
    started.commandLine = L"\"" + path + L"\" " + arguments;
    started.startedMs = diagnostics::GetTickMs();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, started.commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        const std::wstring text = download::SystemMessage(::GetLastError());
        diagnostics::Record("installer %ls not started: %ls", started.commandLine.c_str(), text.c_str());
        started.failure = win32::FormatWide(L"Error launching executable: %s", text.c_str());
        return started;
    }
    started.process.Reset(info.hProcess);
    win32::Handle thread(info.hThread);
    return started;
}

ProcessResult AwaitProcess(const StartedProcess& started, bool wait, std::shared_ptr<WaitCancellation> cancellation) {
    if (!started.process)
        return ProcessResult(kExitCodeUnknown, started.failure);
    DWORD exitCode = kExitCodeUnknown;
    if (wait) {
        HANDLE handles[2] = {started.process.Get(), cancellation ? cancellation->GetEvent() : nullptr};
        const DWORD count = cancellation ? 2 : 1;
        const DWORD signalled = ::WaitForMultipleObjects(count, handles, FALSE, INFINITE);
        if (signalled == WAIT_OBJECT_0 + 1)
            return ProcessResult(kExitCodeUnknown, kWaitCancelledMessage);
        if (signalled == WAIT_OBJECT_0 && !::GetExitCodeProcess(started.process.Get(), &exitCode))
            exitCode = kExitCodeUnknown;
    }
    if (wait)
        diagnostics::Record("installer %ls exit code=%lu ms=%llu", started.commandLine.c_str(), exitCode,
                            diagnostics::GetTickMs() - started.startedMs);
    else
        diagnostics::Record("installer %ls started", started.commandLine.c_str());
    std::wstring message;
    if (exitCode != 0)
        message = win32::FormatWide(L"exit code = %u", static_cast<unsigned>(exitCode));
    return ProcessResult(exitCode, message);
}

ProcessResult RunProcess(const std::wstring& path,
                         const std::wstring& arguments,
                         bool wait,
                         std::shared_ptr<WaitCancellation> cancellation) {
    // Nothing new is started once the user has left the wizard.
    if (cancellation && cancellation->IsCancelled())
        return ProcessResult(kExitCodeUnknown, kWaitCancelledMessage);
    return AwaitProcess(StartProcess(path, arguments), wait, std::move(cancellation));
}

void SetZipExtractorForTesting(ZipExtractor extractor) {
    std::lock_guard<std::mutex> lock(g_extractorMutex);
    g_extractor = std::move(extractor);
}
