// The machine's identity: the MachineGuid that Windows keeps in the 64-bit registry view.
#pragma once

#include <string>

// Reads HKLM\SOFTWARE\Microsoft\Cryptography "MachineGuid" from the 64-bit view (also from this 32-bit
// process) as 8-bit text; "" when the key or value cannot be read or does not fit in 254 bytes. Not cached:
// ConfigurationManager::GetMachineGuid keeps the first non-empty result.
std::string ReadMachineGuid();
