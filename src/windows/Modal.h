#pragma once

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

// The calls whose outcome depends on a person at the screen: message boxes, the file-open dialog and
// the shell start, which may put up an elevation prompt. The product links Modal.cpp, which makes the
// system calls; the unit tests link a stand-in that records the boxes and scripts the
// outcomes that a headless Wine cannot produce (a chosen file, a declined prompt).
namespace Windows::Modal {

int messageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);

// GetOpenFileNameW, then CommDlgExtendedError read straight after it into `extendedError`.
BOOL getOpenFileName(OPENFILENAMEW* dialog, DWORD& extendedError);

// ShellExecuteExW; the thread's last-error value is left as the call left it.
BOOL shellExecuteEx(SHELLEXECUTEINFOW* info);

}  // namespace Windows::Modal
