#include "windows/Modal.h"

#include <cderr.h>

#include "windows/SystemLibrary.h"

namespace Windows::Modal {
namespace {

using GetOpenFileNameFunction = BOOL(WINAPI*)(OPENFILENAMEW*);
using CommDlgExtendedErrorFunction = DWORD(WINAPI*)();

}  // namespace

int messageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
    return MessageBoxW(owner, text, caption, style);
}

BOOL getOpenFileName(OPENFILENAMEW* dialog, DWORD& extendedError) {
    // comdlg32 brings the common controls and more with it. Imported, it was loaded on every start
    // (under Wine about 40 ms and 8 MiB) for a dialog that only a player whose game is not registered
    // ever sees. It is loaded from the system folder on first use and stays loaded, as an imported one
    // would.
    const HMODULE library = loadSystemLibrary(L"comdlg32.dll");
    const auto openFileName = library ? findFunction<GetOpenFileNameFunction>(library, "GetOpenFileNameW") : nullptr;
    const auto dialogError =
        library ? findFunction<CommDlgExtendedErrorFunction>(library, "CommDlgExtendedError") : nullptr;
    if (openFileName == nullptr || dialogError == nullptr) {
        // No dialog could be shown: a failure of the dialog's set-up, never a cancel.
        extendedError = CDERR_INITIALIZATION;
        return FALSE;
    }
    const BOOL chosen = openFileName(dialog);
    extendedError = dialogError();
    return chosen;
}

BOOL shellExecuteEx(SHELLEXECUTEINFOW* info) {
    return ShellExecuteExW(info);
}

}  // namespace Windows::Modal
