#include "locate/FileDialog.h"

#include <windows.h>
#include <commdlg.h>

#include <cwchar>
#include <stdexcept>

#include "windows/Modal.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(OPENFILENAMEW) == 88, "OPENFILENAMEW is 88 bytes in a 32-bit program");
#endif

namespace {

constexpr DWORD kFileBufferLength = 512;

}  // namespace

std::optional<std::wstring> selectFile(const std::wstring& title, const std::vector<FileFilter>& filters) {
    // "description\0pattern\0" for each entry; the string's own terminator ends the list.
    std::wstring filterText;
    for (const FileFilter& filter : filters) {
        filterText += filter.first;
        filterText += L'\0';
        filterText += filter.second;
        filterText += L'\0';
    }

    std::wstring fileName(kFileBufferLength, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    // The list must end in two NULs; an empty list has only the string's own, so it is left out.
    dialog.lpstrFilter = filters.empty() ? nullptr : filterText.c_str();
    dialog.lpstrFile = fileName.data();
    dialog.nMaxFile = kFileBufferLength;
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

    DWORD extendedError = 0;
    if (Windows::Modal::getOpenFileName(&dialog, extendedError)) {
        fileName.resize(std::wcslen(fileName.c_str()));
        return fileName;
    }
    if (extendedError == 0) {
        return std::nullopt;
    }
    throw std::runtime_error("GetOpenFileNameW failed, CommDlg Error Code " +
                             std::to_string(static_cast<unsigned long>(extendedError)));
}
