#include "mod/ModConfig.h"

#include <windows.h>
#include <shlwapi.h>

#include "windows/TextConversion.h"
#include "windows/WindowsError.h"

namespace {

constexpr std::wstring_view kSkudefExtension = L".SkuDef";
// Another process may change our current directory between the size query and the read.
constexpr int kDirectoryReadTries = 4;

}  // namespace

std::wstring getCurrentDirectory() {
    for (int attempt = 0; attempt < kDirectoryReadTries; ++attempt) {
        const DWORD needed = GetCurrentDirectoryW(0, nullptr);
        const DWORD queryError = GetLastError();
        Windows::checkApiResult(needed, Windows::FailureValue<DWORD>{"GetCurrentDirectoryW", 0, queryError});

        std::wstring directory(needed, L'\0');
        const DWORD written = GetCurrentDirectoryW(needed, directory.data());
        const DWORD readError = GetLastError();
        Windows::checkApiResult(written, Windows::FailureValue<DWORD>{"GetCurrentDirectoryW", 0, readError});
        if (written >= needed) {
            // The directory grew in between: `written` is the new size, and nothing was copied.
            continue;
        }
        directory.resize(written);
        if (directory.back() != L'\\') {
            directory += L'\\';
        }
        return directory;
    }
    Windows::throwApiFailure("GetCurrentDirectoryW", ERROR_INSUFFICIENT_BUFFER);
}

std::wstring& appendPath(std::wstring& directory, std::wstring_view name) {
    if (!directory.empty() && PathGetCharTypeW(directory.back()) != GCT_SEPARATOR) {
        directory += L'\\';
    }
    directory += name;
    return directory;
}

bool pathExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring createModSkudefArguments(const std::wstring& directory, const std::wstring& modName) {
    try {
        std::wstring skudefPath = directory;
        appendPath(skudefPath, modName) += kSkudefExtension;
        if (!pathExists(skudefPath)) {
            throw SkudefNotFoundError(Windows::toNarrowString(skudefPath.data(), skudefPath.size(), CP_UTF8));
        }
        return L" -modConfig \"" + skudefPath + L"\" ";
    } catch (const SkudefNotFoundError&) {
        throw;
    } catch (const std::exception& error) {
        throw std::runtime_error(std::string("Exception occured when trying to create Mod Skudef Arugments:\r\n") +
                                 error.what());
    }
}
