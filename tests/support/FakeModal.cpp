#include "support/FakeModal.h"

#include <objbase.h>

#include <cwchar>

#include "windows/Modal.h"

namespace FakeModal {
namespace {

std::vector<Box> recordedBoxes;
std::vector<DialogCall> recordedDialogs;
std::optional<DialogOutcome> nextDialog;
std::optional<DWORD> nextShellFailure;
const std::error_category* nextShellCategory = nullptr;
int shellCallCount = 0;
std::optional<std::wstring> lastShellDirectory;
ULONG lastShellMask = 0;

std::wstring filterTextOf(const wchar_t* filter) {
    if (filter == nullptr) {
        return {};
    }
    const wchar_t* end = filter;
    while (end[0] != L'\0' || end[1] != L'\0') {
        ++end;
    }
    return std::wstring(filter, end + 2);
}

}  // namespace

void reset() {
    recordedBoxes.clear();
    recordedDialogs.clear();
    nextDialog.reset();
    nextShellFailure.reset();
    nextShellCategory = nullptr;
    shellCallCount = 0;
    lastShellDirectory.reset();
    lastShellMask = 0;
}

const std::vector<Box>& boxes() {
    return recordedBoxes;
}

const std::vector<DialogCall>& dialogCalls() {
    return recordedDialogs;
}

void scriptDialog(DialogOutcome outcome) {
    nextDialog = std::move(outcome);
}

void scriptShellFailure(DWORD lastError, const std::error_category* thrownIn) {
    nextShellFailure = lastError;
    nextShellCategory = thrownIn;
}

int shellCalls() {
    return shellCallCount;
}

std::optional<std::wstring> shellDirectory() {
    return lastShellDirectory;
}

ULONG shellMask() {
    return lastShellMask;
}

}  // namespace FakeModal

namespace Windows::Modal {

int messageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    const bool comInitialized = CoGetApartmentType(&type, &qualifier) == S_OK;
    FakeModal::recordedBoxes.push_back({owner, text ? text : L"", caption ? caption : L"", style, comInitialized});
    return IDOK;
}

BOOL getOpenFileName(OPENFILENAMEW* dialog, DWORD& extendedError) {
    FakeModal::recordedDialogs.push_back({dialog->lStructSize, dialog->Flags, dialog->nMaxFile,
                                          dialog->lpstrTitle ? dialog->lpstrTitle : L"",
                                          FakeModal::filterTextOf(dialog->lpstrFilter),
                                          std::wstring(dialog->lpstrFile, wcsnlen(dialog->lpstrFile, dialog->nMaxFile)),
                                          dialog->hwndOwner != nullptr});
    const FakeModal::DialogOutcome outcome = FakeModal::nextDialog.value_or(FakeModal::DialogOutcome{});
    FakeModal::nextDialog.reset();
    if (outcome.chosenPath) {
        wcsncpy(dialog->lpstrFile, outcome.chosenPath->c_str(), dialog->nMaxFile - 1);
        dialog->lpstrFile[dialog->nMaxFile - 1] = L'\0';
        extendedError = 0;
        return TRUE;
    }
    extendedError = outcome.extendedError;
    return FALSE;
}

BOOL shellExecuteEx(SHELLEXECUTEINFOW* info) {
    ++FakeModal::shellCallCount;
    FakeModal::lastShellDirectory =
        info->lpDirectory ? std::optional<std::wstring>(info->lpDirectory) : std::nullopt;
    FakeModal::lastShellMask = info->fMask;
    if (FakeModal::nextShellFailure) {
        const DWORD code = *FakeModal::nextShellFailure;
        const std::error_category* const thrownIn = FakeModal::nextShellCategory;
        FakeModal::nextShellFailure.reset();
        if (thrownIn != nullptr) {
            throw std::system_error(static_cast<int>(code), *thrownIn, "ShellExecuteExW failed");
        }
        SetLastError(code);
        return FALSE;
    }
    return ShellExecuteExW(info);
}

}  // namespace Windows::Modal
