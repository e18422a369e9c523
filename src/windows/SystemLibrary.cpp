#include "windows/SystemLibrary.h"

#include <string>

namespace Windows {
namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// Windows 8 and later, and Windows 7 with KB2533623. Imported, it would keep the exe from starting on
// a Windows 7 without that update, so it is looked up. Where it exists, LoadLibraryExW also knows the
// LOAD_LIBRARY_SEARCH_* flags.
SetDefaultDllDirectoriesFunction findSetDefaultDllDirectories() noexcept {
    return findFunction<SetDefaultDllDirectoriesFunction>(GetModuleHandleW(L"kernel32.dll"),
                                                          "SetDefaultDllDirectories");
}

}  // namespace

void restrictDllSearch() noexcept {
    const SetDefaultDllDirectoriesFunction setDefaultDllDirectories = findSetDefaultDllDirectories();
    if (setDefaultDllDirectories == nullptr || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // An empty string removes the current folder from the standard search; the exe's folder stays.
        SetDllDirectoryW(L"");
    }
}

HMODULE loadSystemLibrary(const wchar_t* fileName) {
    if (findSetDefaultDllDirectories() != nullptr) {
        // The library's own dependencies are then looked up in the system folder too.
        return LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Without the flag: the full path in the system folder, which at least finds the library itself there.
    wchar_t systemDirectory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring path = std::wstring(systemDirectory, length) + L"\\" + fileName;
    return LoadLibraryW(path.c_str());
}

}  // namespace Windows
