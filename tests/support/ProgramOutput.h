// Runs a program to its end and gathers what it writes to standard output and standard error.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "win32/Handle.h"

namespace testing_programs {

struct ProgramRun {
    bool started = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and standard error together
};

// Starts `commandLine` with the caller's standard input and waits for it to end. `onOutput`, when given, sees the
// output gathered so far each time more of it arrives.
inline ProgramRun RunCapturingOutput(std::wstring commandLine,
                                     const std::function<void(const std::string&)>& onOutput = nullptr) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return run;
    win32::Handle reader(readEnd);
    win32::Handle writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return run;
    run.started = true;
    win32::Handle thread(process.hThread);
    win32::Handle processHandle(process.hProcess);
    // The child holds the only write end now: the reads end when it does.
    writer.Reset();
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(reader.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        run.output.append(buffer, read);
        if (onOutput)
            onOutput(run.output);
    }
    ::WaitForSingleObject(processHandle.Get(), INFINITE);
    ::GetExitCodeProcess(processHandle.Get(), &run.exitCode);
    return run;
}

}  // namespace testing_programs
