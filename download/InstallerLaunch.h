// Turning a downloaded file into a running installer: a ZIP archive is unpacked and its first program used,
// the arguments are composed, and the installer runs as a process of its own, waited for or left to run.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <future>
#include <string>
#include <utility>

class ConfigurationManager;
class Package;

enum ArchiveType : int { ArchiveNone = 0, ArchiveZip = 1, Archive7z = 2 };

// (exit code, message); the exit code 0xFFFFFFFF means not started or not waited for.
using ProcessResult = std::pair<DWORD, std::wstring>;

int DetectArchiveType(const std::wstring& path);
std::wstring ResolveInstallerPath(const std::wstring& path, int archiveType, const std::wstring& baseFolder);
std::wstring CreateExtractFolder(const std::wstring& path, const std::wstring& baseFolder);
bool ExtractZip(BSTR archive, BSTR destination);
std::wstring FindFirstExe(const std::wstring& folder);
std::wstring MakeInstallerArguments(const Package& package, const ConfigurationManager& configuration);
ProcessResult RunProcess(const std::wstring& path, const std::wstring& arguments, bool wait);
std::future<ProcessResult> RunProcessAsync(const std::wstring& path, const std::wstring& arguments, bool wait);
