#include <windows.h>

#include <cwchar>
#include <string>
#include <string_view>

#include "launcher/ComApartment.h"
#include "launcher/Launch.h"
#include "launcher/Messages.h"
#include "mod/CommandLine.h"
#include "mod/LauncherIdentity.h"
#include "windows/Modal.h"

namespace {

constexpr const wchar_t* kLaunchPrefix = L"启动";
constexpr const wchar_t* kSteamMarker = L"(Steam版)";
constexpr const wchar_t* kExeExtension = L".exe";

int run() {
    const ComApartment apartment;
    const ArgumentList arguments = [] {
        const std::wstring commandLine = GetCommandLineW();
        return splitCommandLine(commandLine);
    }();
    const LauncherIdentity identity =
        retrieveModName(std::wstring_view(kLaunchPrefix, std::wcslen(kLaunchPrefix)),
                        std::wstring_view(kSteamMarker, std::wcslen(kSteamMarker)),
                        std::wstring_view(kExeExtension, std::wcslen(kExeExtension)), arguments.at(0));
    return launchMod(arguments, identity.modName, identity.isSteamEdition);
}

}  // namespace

// The narrow argc/argv are not used: the command line is read as UTF-16.
int main() {
    try {
        return run();
    } catch (...) {
        Windows::Modal::messageBox(nullptr, Messages::kUnhandledError, Messages::kLauncherCaption,
                                   MB_OK | MB_ICONERROR);
        return 1;
    }
}
