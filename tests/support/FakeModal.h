#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <system_error>
#include <vector>

// The unit tests' side of the modal calls: message boxes are recorded, not shown; the file dialog
// and the shell start follow a script. Unscripted, the dialog cancels (as headless Wine does) and the
// shell start is the real one.
namespace FakeModal {

struct Box {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
    bool comInitialized;  // whether the thread was in a COM apartment while the box showed
};

// What the dialog was shown with.
struct DialogCall {
    DWORD structSize;
    DWORD flags;
    DWORD maxFile;
    std::wstring title;
    std::wstring filterText;  // up to and including the double NUL that ends it
    std::wstring initialFile;
    bool hasOwner;
};

// The next dialog's outcome: a chosen path (shorter than the dialog's buffer), or a failure with an
// extended error code (0: cancel).
struct DialogOutcome {
    std::optional<std::wstring> chosenPath;
    DWORD extendedError = 0;
};

void reset();
const std::vector<Box>& boxes();
const std::vector<DialogCall>& dialogCalls();
void scriptDialog(DialogOutcome outcome);
// The next shell start fails with `lastError` instead of starting anything (a declined prompt: 1223);
// given `thrownIn`, it throws a std::system_error of that category and code instead.
void scriptShellFailure(DWORD lastError, const std::error_category* thrownIn = nullptr);
int shellCalls();
// The working folder that the last shell start was given; nothing when it was given none.
std::optional<std::wstring> shellDirectory();
// The flags (fMask) that the last shell start was given.
ULONG shellMask();

}  // namespace FakeModal
