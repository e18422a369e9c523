#include "locate/GameLocation.h"

#include <exception>
#include <stdexcept>
#include <string_view>

#include "locate/FileDialog.h"
#include "mod/ModConfig.h"
#include "windows/Messages.h"
#include "windows/Modal.h"
#include "windows/Registry.h"

namespace {

constexpr std::wstring_view kGameKeyPath = L"Software\\Electronic Arts\\Electronic Arts\\Red Alert 3";
constexpr std::wstring_view kInstallDirValue = L"Install Dir";
constexpr std::wstring_view kGameExecutable = L"RA3.exe";

std::wstring readGamePathFromRegistry() {
    // KEY_READ alone: the 32-bit launcher reads the 32-bit view, where the game's installer writes.
    const Windows::RegistryKey key =
        Windows::openRegistryKey(HKEY_LOCAL_MACHINE, std::wstring(kGameKeyPath), KEY_READ);
    std::wstring candidate = Windows::getRegistryString(key.get(), std::wstring(kInstallDirValue));
    appendPath(candidate, kGameExecutable);
    if (!pathExists(candidate)) {
        throw std::runtime_error("Invalid RA3 Path stored in registry");
    }
    return candidate;
}

}  // namespace

std::optional<std::wstring> getRA3Path(const std::wstring& modName) {
    std::string registryError;
    try {
        return readGamePathFromRegistry();
    } catch (const std::exception& error) {
        registryError = error.what();
    }

    std::string selectionError;
    try {
        Windows::Modal::messageBox(nullptr, Messages::kGameNotFound, modName.c_str(), MB_OK);
        const std::vector<FileFilter> filters{{Messages::kGameFilterDescription, Messages::kGameFilterPattern}};
        return selectFile(Messages::kGameDialogTitle, filters);
    } catch (const std::exception& error) {
        selectionError = error.what();
    }

    throw std::runtime_error("Failed to retrieve RA3Path.\r\nRegistry Error: " + registryError +
                             "\r\nSelectFile Error: " + selectionError);
}
