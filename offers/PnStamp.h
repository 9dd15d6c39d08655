// The "pn" stamp: once a "pn" offer has been installed, the installer writes under HKEY_LOCAL_MACHINE the date
// 180 days on, as the number yyyymmdd, and the presence checks refuse the offer until that date has come.
#pragma once

#include <ctime>
#include <string>

namespace pn_stamp {

// How long an installed "pn" offer is not offered again.
constexpr long long kQuietDays = 180;

// The local date of `when` as its eight digits yyyymmdd; empty when it cannot be converted.
std::wstring LocalDateDigits(std::time_t when);

// Splits the offer's "pnr" path at its last backslash into the key path and the value name, both decoded as
// UTF-8; false when it holds no backslash.
bool SplitValuePath(const std::string& path, std::wstring& keyPath, std::wstring& valueName);

// Writes the stamp to the value `path` names, in this process's own view, where the presence check reads it
// back. False when the path names no key or the registry refuses.
bool Write(const std::string& path);

}  // namespace pn_stamp
