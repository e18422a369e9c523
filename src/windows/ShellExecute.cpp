#include "windows/ShellExecute.h"

#include "windows/Modal.h"
#include "windows/WindowsError.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(SHELLEXECUTEINFOW) == 60, "SHELLEXECUTEINFOW is 60 bytes in a 32-bit program");
#endif

namespace Windows {

void shellExecute(HWND owner, const wchar_t* verb, const std::wstring& file, int show, const wchar_t* parameters,
                  const wchar_t* directory) {
    // fMask stays 0: no SEE_MASK_NOCLOSEPROCESS, so no process handle comes back to be closed.
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.lpVerb = verb;
    info.lpFile = file.c_str();
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = show;

    const BOOL started = Modal::shellExecuteEx(&info);
    const DWORD lastError = GetLastError();
    checkApiResult(started, FailureValue<BOOL>{"ShellExecuteExW", FALSE, lastError});
}

}  // namespace Windows
