#include "mod/LauncherIdentity.h"

#include <cwctype>
#include <exception>
#include <stdexcept>

namespace {

// towlower in the runtime's default "C" locale, which the launcher never changes, folds A-Z only.
bool equalIgnoringCase(std::wstring_view left, std::wstring_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t index = 0; index < left.size(); ++index) {
        if (std::towlower(left[index]) != std::towlower(right[index])) {
            return false;
        }
    }
    return true;
}

}  // namespace

LauncherIdentity retrieveModName(std::wstring_view prefix, std::wstring_view steamMarker, std::wstring_view extension,
                                 const std::wstring& launcherPath) {
    const std::wstring_view path(launcherPath);
    const std::size_t separator = path.find_last_of(L"\\/");
    std::size_t start = separator == std::wstring_view::npos ? 0 : separator + 1;
    std::size_t end = path.size();
    try {
        if (end - start >= prefix.size() && equalIgnoringCase(path.substr(start, prefix.size()), prefix)) {
            start += prefix.size();
        }
        if (end - start >= extension.size() &&
            equalIgnoringCase(path.substr(end - extension.size(), extension.size()), extension)) {
            end -= extension.size();
        }
        bool isSteamEdition = false;
        if (end - start >= steamMarker.size() &&
            equalIgnoringCase(path.substr(end - steamMarker.size(), steamMarker.size()), steamMarker)) {
            end -= steamMarker.size();
            isSteamEdition = true;
        }
        return LauncherIdentity{std::wstring(path.substr(start, end - start)), isSteamEdition};
    } catch (const std::exception& error) {
        throw std::runtime_error(std::string("Error when trying to retrieve Mod Name: ") + error.what());
    }
}
