#include "launcher/Launch.h"

#include <windows.h>

#include <cstring>
#include <exception>
#include <optional>
#include <string_view>
#include <system_error>

#include "launcher/GameProbe.h"
#include "locate/GameLocation.h"
#include "locate/SteamLocation.h"
#include "mod/ModConfig.h"
#include "windows/Messages.h"
#include "windows/Modal.h"
#include "windows/ShellExecute.h"
#include "windows/TextConversion.h"
#include "windows/WindowsError.h"

namespace {

constexpr std::wstring_view kSteamApplaunch = L" -applaunch 17480 ";  // 17480: Red Alert 3 on Steam

// The folder of `gamePath`: everything before its last backslash or slash. A file directly under a
// drive root keeps the root's separator: "M:" alone names the current folder on drive M, which is just
// the folder of a drive-relative "M:RA3.exe". A bare "RA3.exe" was found in the current folder and gets
// none, so that the start keeps it: Windows refuses a file as the working folder (ERROR_DIRECTORY).
std::wstring directoryOf(const std::wstring& gamePath) {
    const std::size_t separator = gamePath.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        const bool driveRelative = gamePath.size() >= 2 && gamePath[1] == L':';
        return driveRelative ? gamePath.substr(0, 2) : std::wstring();
    }
    const bool underDriveRoot = separator == 2 && gamePath[1] == L':';
    return gamePath.substr(0, underDriveRoot ? separator + 1 : separator);
}

// A player who declines the elevation prompt chose not to play: no error to report. Categories are
// compared by name because every thread has its own instance.
bool isDeclinedElevation(const std::system_error& error) {
    return std::string_view(error.code().category().name()) ==
               std::string_view(Windows::getWindowsErrorCategory().name()) &&
           error.code().value() == ERROR_CANCELLED;
}

int startGame(const std::wstring& modName, const std::wstring& gameArguments) {
    const std::optional<std::wstring> gamePath = getRA3Path(modName);
    if (!gamePath) {
        return 1;  // The player gave up choosing the game; they have seen why.
    }
    const std::wstring parameters = L"\"" + *gamePath + L"\" " + gameArguments;
    const std::wstring directory = directoryOf(*gamePath);
    try {
        Windows::shellExecute(nullptr, nullptr, *gamePath, SW_SHOWNORMAL, parameters.c_str(),
                              directory.empty() ? nullptr : directory.c_str());
    } catch (const std::system_error& error) {
        if (isDeclinedElevation(error)) {
            return 0;
        }
        throw;
    }
    return 0;
}

int startSteam(const std::wstring& gameArguments) {
    // The Steam client gets its own path, unquoted, at the head of its parameters, then the launch request.
    const std::wstring steamPath = getSteamExePath();
    const std::wstring parameters = steamPath + std::wstring(kSteamApplaunch) + gameArguments;
    Windows::shellExecute(nullptr, nullptr, steamPath, SW_SHOWNORMAL, parameters.c_str(), nullptr);
    return 0;
}

}  // namespace

int launchMod(const ArgumentList& arguments, const std::wstring& modName, bool isSteamEdition) {
    try {
        const std::wstring gameArguments =
            createModSkudefArguments(getCurrentDirectory(), modName) + joinArguments(arguments);
        if (isGameRunning()) {
            const std::wstring notice = Messages::kGameRunning + modName;
            Windows::Modal::messageBox(nullptr, notice.c_str(), modName.c_str(), MB_OK | MB_ICONINFORMATION);
        }
        return isSteamEdition ? startSteam(gameArguments) : startGame(modName, gameArguments);
    } catch (const SkudefNotFoundError&) {
        const std::wstring text = Messages::kSkudefMissingBefore + modName + Messages::kSkudefMissingAfter;
        Windows::Modal::messageBox(nullptr, text.c_str(), modName.c_str(), MB_OK | MB_ICONWARNING);
        return 1;
    } catch (const std::exception& error) {
        const char* const detail = error.what();
        const std::wstring text = modName + Messages::kModUnhandledError + Messages::kSupportUrl +
                                  Messages::kErrorDetailHeading +
                                  (detail ? Windows::toWideString(detail, std::strlen(detail), CP_UTF8) : std::wstring());
        Windows::Modal::messageBox(nullptr, text.c_str(), modName.c_str(), MB_OK | MB_ICONERROR);
        return 1;
    }
}
