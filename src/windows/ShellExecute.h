#pragma once

#include <windows.h>

#include <string>

namespace Windows {

// Starts `file` through the shell with ShellExecuteExW and returns without waiting and without any
// handle to the new process. NULL `verb` is the default verb, NULL `parameters` none, NULL
// `directory` the caller's current directory. Throws std::system_error for "ShellExecuteExW" with the
// last-error value (ERROR_CANCELLED, 1223, when the user declined an elevation prompt).
void shellExecute(HWND owner, const wchar_t* verb, const std::wstring& file, int show, const wchar_t* parameters,
                  const wchar_t* directory);

}  // namespace Windows
