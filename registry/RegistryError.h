// A failed registry call, with the Win32 status that made it fail.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace win32 {

class RegistryError : public std::runtime_error {
public:
    RegistryError(const std::string& message, LSTATUS status) : std::runtime_error(message), m_status(status) {}
    LSTATUS Status() const { return m_status; }

private:
    LSTATUS m_status;
};

}  // namespace win32
