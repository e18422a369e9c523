#pragma once

#include <windows.h>

namespace Windows {

// The function `name` exported by `library`, as a pointer of type Function; null when there is none.
template <typename Function>
Function findFunction(HMODULE library, const char* name) noexcept {
    // Through void(*)(), the one function type that any other may be cast to without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// From here on, DLLs that the process loads at run time, and the DLLs those bring with them, come from
// the system folder only, never from the exe's folder or the current one. Where the system lacks
// SetDefaultDllDirectories (Windows 7 without update KB2533623), only the current folder is taken out
// of the search; the exe's folder is still searched first. DLLs that the exe imports are loaded
// before any of its code runs and are not covered. Throws nothing.
void restrictDllSearch() noexcept;

// Loads `fileName` (such as L"comdlg32.dll") from the system folder; the caller never frees it. Where
// SetDefaultDllDirectories exists, the library's own dependencies come from the system folder only.
// Without it (Windows 7 without KB2533623), the library itself comes from the system folder, and a
// dependency not yet loaded is looked for in the system folder, then the Windows folder, then the
// folders on PATH, never in the exe's folder. Returns null when it cannot be loaded; throws only
// std::bad_alloc.
HMODULE loadSystemLibrary(const wchar_t* fileName);

}  // namespace Windows
