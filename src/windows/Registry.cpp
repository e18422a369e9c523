#include "windows/Registry.h"

#include <stdexcept>

#include "windows/WindowsError.h"

namespace Windows {

RegistryKey openRegistryKey(HKEY parent, const std::wstring& subKey, REGSAM access) {
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(parent, subKey.c_str(), 0, access, &key);
    checkApiResult(status, StatusCheck{"RegOpenKeyExW"});
    return RegistryKey(key);
}

std::wstring getRegistryString(HKEY key, const std::wstring& valueName) {
    DWORD type = 0;
    DWORD bufferBytes = 0;
    const LSTATUS sizeStatus = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &bufferBytes);
    checkApiResult(sizeStatus, StatusCheck{"RegGetValue (retrieving buffer size)"});
    if (type != REG_SZ) {
        throw std::invalid_argument("getRegistryString() failed: value type may not be string");
    }
    if (bufferBytes % sizeof(wchar_t) != 0) {
        throw std::invalid_argument(
            "getRegistryString() failed: value type may not be string, bufferBytes % sizeof(wchar_t) != 0");
    }

    // A value that grew since the size query fails here with ERROR_MORE_DATA: the buffer is never
    // written past bufferBytes.
    std::wstring result(bufferBytes / sizeof(wchar_t), L'\0');
    const LSTATUS dataStatus = RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                                                reinterpret_cast<BYTE*>(result.data()), &bufferBytes);
    checkApiResult(dataStatus, StatusCheck{"RegGetValue"});
    if (type != REG_SZ) {
        throw std::invalid_argument("getRegistryString() failed: value type may not be string");
    }
    if (result.size() * sizeof(wchar_t) != bufferBytes) {
        throw std::runtime_error("getRegistryString() failed, bufferBytes != result.size() * sizeof(wchar_t)");
    }
    // The stored terminator, if any. Only one: further NULs belong to the value.
    if (!result.empty() && result.back() == L'\0') {
        result.pop_back();
    }
    return result;
}

}  // namespace Windows
