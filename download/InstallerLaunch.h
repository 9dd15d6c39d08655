// Turning a downloaded file into a running installer: a ZIP archive is unpacked and its first program used,
// the arguments are composed, and the installer runs as a process of its own, waited for or left to run.
#pragma once

#include "win32/Handle.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class ConfigurationManager;

enum ArchiveType : int { ArchiveNone = 0, ArchiveZip = 1, Archive7z = 2 };

// (exit code, message); the exit code 0xFFFFFFFF means not started or not waited for.
using ProcessResult = std::pair<DWORD, std::wstring>;

constexpr DWORD kExitCodeUnknown = 0xFFFFFFFF;

// Lets another thread end a waited run early: the wait stops, the installer itself keeps running. Shared by
// the thread that waits and whoever may stop it (the page that started the run, the frame when it closes).
class WaitCancellation {
public:
    WaitCancellation();
    WaitCancellation(const WaitCancellation&) = delete;
    WaitCancellation& operator=(const WaitCancellation&) = delete;

    void Cancel() const;
    bool IsCancelled() const;
    HANDLE GetEvent() const { return m_event.Get(); }

private:
    win32::Handle m_event;
};

// The message of a run whose wait was stopped before the installer ended.
extern const wchar_t kWaitCancelledMessage[];

// 0 when the file cannot be read or holds neither signature; never throws.
int DetectArchiveType(const std::wstring& path);
// What to execute for a downloaded file: the first program of an unpacked ZIP archive, else the file itself.
std::wstring ResolveInstallerPath(const std::wstring& path, int archiveType, const std::wstring& baseFolder);
// The folder under `baseFolder` named after the file without its extension, created when missing. Never the
// archive itself nor any other file: when that name is taken by a file, a numbered twin is used. The base
// folder when no folder can be created.
std::wstring CreateExtractFolder(const std::wstring& path, const std::wstring& baseFolder);
// Unpacks through the Shell's own ZIP folder. True only when the Shell copied the archive's items; false when
// COM, the Shell object, either folder or the items cannot be had, or the archive is empty.
bool ExtractZip(BSTR archive, BSTR destination);
// Name (no folder part) of the first program the enumeration of `folder` returns; sub-folders are not
// searched, and a folder whose pattern would not fit MAX_PATH gives an empty result rather than another folder.
std::wstring FindFirstExe(const std::wstring& folder);
// What a package's installer arguments depend on, as its package says.
struct LaunchArguments {
    bool isMain = false;
    // An offer's arguments as the server sent them (UTF-8); the main product's come from the build.
    std::string serverArguments;
};

// Arguments for a package's installer: the main product's from the build (with the option digits in the
// Sorrel flavour), an offer's from the server.
std::wstring MakeInstallerArguments(const LaunchArguments& launch, const ConfigurationManager& configuration);
// A process as StartProcess left it: running (`process` set) or not started (`failure` says why).
struct StartedProcess {
    win32::Handle process;
    std::wstring failure;
    std::wstring commandLine;
    std::uint64_t startedMs = 0;
};
// Starts `path` with `arguments` (the path quoted, so spaces cannot run into the arguments) and returns at once.
StartedProcess StartProcess(const std::wstring& path, const std::wstring& arguments);
// What became of a process StartProcess started, as RunProcess says.
ProcessResult AwaitProcess(const StartedProcess& started,
                           bool wait,
                           std::shared_ptr<WaitCancellation> cancellation = nullptr);
// Starts `path` with `arguments` (the path quoted, so spaces cannot run into the arguments). With `wait` it
// blocks until the installer ends or `cancellation` is cancelled; a stopped wait gives 0xFFFFFFFF and
// kWaitCancelledMessage and leaves the installer running.
ProcessResult RunProcess(const std::wstring& path,
                         const std::wstring& arguments,
                         bool wait,
                         std::shared_ptr<WaitCancellation> cancellation = nullptr);

// The Shell call behind ResolveInstallerPath's unpacking. Wine has no ZIP folder, so tests replace it; an empty
// function restores ExtractZip.
using ZipExtractor = std::function<bool(BSTR archive, BSTR destination)>;
void SetZipExtractorForTesting(ZipExtractor extractor);
