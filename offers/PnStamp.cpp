#include "offers/PnStamp.h"

#include "registry/RegistryPaths.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <windows.h>

#include <cwchar>

namespace pn_stamp {

std::wstring LocalDateDigits(std::time_t when) {
    std::tm local{};
    if (::localtime_s(&local, &when) != 0)
        return std::wstring();
    wchar_t digits[16] = {};
    if (std::wcsftime(digits, 16, L"%Y%m%d", &local) != 8)
        return std::wstring();
    return digits;
}

bool SplitValuePath(const std::string& path, std::wstring& keyPath, std::wstring& valueName) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        return false;
    keyPath = win32::Utf8ToWide(path.substr(0, slash));
    valueName = win32::Utf8ToWide(path.substr(slash + 1));
    return true;
}

bool Write(const std::string& path) {
    std::wstring keyPath;
    std::wstring valueName;
    if (!SplitValuePath(path, keyPath, valueName) || keyPath.empty())
        return false;
    const std::wstring digits = LocalDateDigits(std::time(nullptr) + kQuietDays * 86400LL);
    if (digits.empty())
        return false;
    const DWORD stamp = static_cast<DWORD>(std::stoul(digits));

    win32::RegKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | registry::kProcessView,
                          nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.Get(), valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stamp),
                            sizeof(stamp)) == ERROR_SUCCESS;
}

}  // namespace pn_stamp
