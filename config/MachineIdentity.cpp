#include "config/MachineIdentity.h"

#include <windows.h>

#include "config/ConfigurationManager.h"
#include "win32/Handle.h"

std::string ReadMachineGuid() {
    win32::RegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_64KEY,
                        key.Put()) != ERROR_SUCCESS)
        return std::string();

    // One byte stays free for the terminator, so a value of exactly 254 bytes without one still ends here.
    char buffer[255] = {};
    DWORD size = sizeof(buffer) - 1;
    if (::RegQueryValueExA(key.Get(), "MachineGuid", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return std::string();
    buffer[size] = '\0';
    return std::string(buffer);
}

std::string ConfigurationManager::GetMachineGuid() {
    if (!m_machineGuid.empty())
        return m_machineGuid;
    // An empty result is not kept, so a later call tries the registry again; and since only a non-empty one is
    // stored, callers on several threads never write the cache while the value stays unreadable.
    std::string guid = ReadMachineGuid();
    if (!guid.empty())
        m_machineGuid = guid;
    return guid;
}
