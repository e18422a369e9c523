#include "windows/Modal.h"

namespace Windows::Modal {

int messageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
    return MessageBoxW(owner, text, caption, style);
}

BOOL getOpenFileName(OPENFILENAMEW* dialog, DWORD& extendedError) {
    const BOOL chosen = GetOpenFileNameW(dialog);
    extendedError = CommDlgExtendedError();
    return chosen;
}

BOOL shellExecuteEx(SHELLEXECUTEINFOW* info) {
    return ShellExecuteExW(info);
}

}  // namespace Windows::Modal
