#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// The mod's SkuDef file is missing. what() is the path looked for, in UTF-8.
class SkudefNotFoundError : public std::runtime_error {
public:
    explicit SkudefNotFoundError(const std::string& utf8Path) : std::runtime_error(utf8Path) {}
};

// The process's current directory, ending in a backslash. Throws std::system_error for
// "GetCurrentDirectoryW"; ERROR_INSUFFICIENT_BUFFER when the directory kept growing while it was read.
std::wstring getCurrentDirectory();

// Appends `name` to `directory` in place, with one backslash between them unless `directory` is
// empty or already ends in a path separator. Returns `directory`.
std::wstring& appendPath(std::wstring& directory, std::wstring_view name);

// True when `path` names an existing entry that is not a directory. Every failure counts as false.
bool pathExists(const std::wstring& path);

// " -modConfig \"<directory><modName>.SkuDef\" " for the mod's SkuDef file in `directory`.
// Throws SkudefNotFoundError when that file does not exist, std::runtime_error for anything else.
std::wstring createModSkudefArguments(const std::wstring& directory, const std::wstring& modName);
