#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// One entry of the dialog's file-type list: a description and a pattern ("RA3.exe", "*.exe").
using FileFilter = std::pair<std::wstring, std::wstring>;

// Shows the common file-open dialog; the file must exist. Returns the chosen path, or nothing when the
// user cancelled. Throws std::runtime_error ("GetOpenFileNameW failed, CommDlg Error Code N") when the
// dialog itself fails, for one when the chosen path does not fit its buffer: a path is never cut short.
std::optional<std::wstring> selectFile(const std::wstring& title, const std::vector<FileFilter>& filters);
