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
        return LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Without the LOAD_LIBRARY_SEARCH_* flags: the full path in the system folder. With
    // LOAD_WITH_ALTERED_SEARCH_PATH the library's folder takes the place of the exe's at the head of the
    // search for its dependencies; the current folder is already out of it (restrictDllSearch).
    // https://learn.microsoft.com/windows/win32/dlls/dynamic-link-library-search-order
    wchar_t systemDirectory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring path = std::wstring(systemDirectory, length) + L"\\" + fileName;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace Windows
