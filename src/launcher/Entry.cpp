#include "launcher/Entry.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <string_view>

#include "launcher/ComApartment.h"
#include "launcher/Launch.h"
#include "mod/CommandLine.h"
#include "mod/LauncherIdentity.h"
#include "windows/Messages.h"
#include "windows/Modal.h"
#include "windows/SystemLibrary.h"

namespace {

constexpr const wchar_t* kLaunchPrefix = L"启动";
constexpr const wchar_t* kSteamMarker = L"(Steam版)";
constexpr const wchar_t* kExeExtension = L".exe";

std::wstring_view viewOf(const wchar_t* literal) {
    return std::wstring_view(literal, std::wcslen(literal));
}

// Objects end in reverse order: the identity, the arguments, then the apartment.
int launchFrom(const wchar_t* commandLine) {
    const ComApartment apartment;
    const ArgumentList arguments = splitCommandLine(std::wstring(commandLine));
    const LauncherIdentity identity =
        retrieveModName(viewOf(kLaunchPrefix), viewOf(kSteamMarker), viewOf(kExeExtension), arguments.at(0));
    return launchMod(arguments, identity.modName, identity.isSteamEdition);
}

}  // namespace

int runLauncher(const wchar_t* commandLine) {
    // Before anything can load a DLL: one planted beside a renamed launcher in a downloaded mod folder
    // must not be loaded in place of a system one.
    Windows::restrictDllSearch();
    try {
        return launchFrom(commandLine);
    } catch (...) {
        // The text is one literal: nothing here can fail for want of memory.
        Windows::Modal::messageBox(nullptr, Messages::kUnhandledError, Messages::kLauncherCaption,
                                   MB_OK | MB_ICONERROR);
        return 1;
    }
}
