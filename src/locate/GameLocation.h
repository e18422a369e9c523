#pragma once

#include <optional>
#include <string>

// The game's RA3.exe: from the game's registry entry when that names an existing file; otherwise the
// user is told so in a box captioned `modName` and picks the file in the file-open dialog. Returns
// nothing when the user cancelled. Throws one std::runtime_error naming both reasons when neither way
// gave a path. Nothing is remembered between calls.
std::optional<std::wstring> getRA3Path(const std::wstring& modName);
