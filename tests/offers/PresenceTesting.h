// What the presence tests share: files placed under the folders the path placeholders name, and the test
// program's own path (a file that exists, of a program that runs).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "win32/Handle.h"

namespace presence_testing {

inline std::wstring ExpandFolders(const std::wstring& path) {
    return ExpandPathPlaceholders(path, ConfigurationManager::GetInstance()->GetPathPlaceholders());
}

inline std::wstring OwnExecutablePath() {
    wchar_t path[MAX_PATH] = {};
    return std::wstring(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
}

inline std::string Utf8(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // the test's texts are ASCII
}

// Files placed under the folders the path placeholders name, removed with the folders created for them.
class ScratchFiles {
public:
    ~ScratchFiles() {
        for (auto file = m_files.rbegin(); file != m_files.rend(); ++file)
            ::DeleteFileW(file->c_str());
        for (auto folder = m_folders.rbegin(); folder != m_folders.rend(); ++folder)
            ::RemoveDirectoryW(folder->c_str());
    }

    // Creates the file of a path with placeholders, and every folder above it that is missing.
    void Create(const std::wstring& pathWithPlaceholders) {
        const std::wstring path = ExpandFolders(pathWithPlaceholders);
        for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
            const std::wstring folder = path.substr(0, slash);
            if (::CreateDirectoryW(folder.c_str(), nullptr))
                m_folders.push_back(folder);
        }
        win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file) << "cannot create the test file";
        m_files.push_back(path);
    }

private:
    std::vector<std::wstring> m_files;
    std::vector<std::wstring> m_folders;
};

}  // namespace presence_testing
