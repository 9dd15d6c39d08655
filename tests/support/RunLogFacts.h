// The facts of a run log as the tests compare them: each line without its time and thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "win32/Handle.h"

namespace testing_log {

// Reads the log while the program may still write it; a line is "[ms thread] fact".
inline std::vector<std::string> RunLogFacts(const std::wstring& path) {
    std::string bytes;
    win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    char buffer[4096];
    DWORD read = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    std::vector<std::string> facts;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = bytes.substr(start, end - start);
        const size_t bracket = line.find("] ");
        facts.push_back(bracket == std::string::npos ? line : line.substr(bracket + 2));
    }
    return facts;
}

}  // namespace testing_log
