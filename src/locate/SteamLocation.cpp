#include "locate/SteamLocation.h"

#include <exception>
#include <stdexcept>
#include <string_view>

#include "windows/Registry.h"

namespace {

constexpr std::wstring_view kSteamKeyPath = L"Software\\Valve\\Steam";
constexpr std::wstring_view kSteamExeValue = L"SteamExe";

}  // namespace

std::wstring getSteamExePath() {
    try {
        const Windows::RegistryKey key =
            Windows::openRegistryKey(HKEY_CURRENT_USER, std::wstring(kSteamKeyPath), KEY_READ);
        return Windows::getRegistryString(key.get(), std::wstring(kSteamExeValue));
    } catch (const std::exception& error) {
        throw std::runtime_error(std::string("Failed to retrieve steam.exe path: ") + error.what());
    }
}
