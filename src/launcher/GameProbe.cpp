#include "launcher/GameProbe.h"

#include <windows.h>

#include "windows/ScopedHandle.h"

namespace {

constexpr char kLauncherMutex[] = "EA_RTS_LAUNCHER_GAME_MUTEX";
constexpr wchar_t kGameMutex[] = L"41DAF790-16F5-4881-8754-59FD8CF3B8D2";

}  // namespace

bool isGameRunning() {
    // Creating a mutex that exists opens it and reports ERROR_ALREADY_EXISTS. One that exists but may
    // not be opened gives NULL with another code, and counts as absent.
    const Windows::ScopedHandle launcherMutex(CreateMutexA(nullptr, FALSE, kLauncherMutex));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        return true;
    }
    const Windows::ScopedHandle gameMutex(CreateMutexW(nullptr, FALSE, kGameMutex));
    return GetLastError() == ERROR_ALREADY_EXISTS;
}
