#include "launcher/GameProbe.h"

#include <windows.h>

#include "windows/ScopedHandle.h"

namespace {

constexpr char kLauncherMutex[] = "EA_RTS_LAUNCHER_GAME_MUTEX";
constexpr wchar_t kGameMutex[] = L"41DAF790-16F5-4881-8754-59FD8CF3B8D2";

// Creating a mutex that exists opens it and reports ERROR_ALREADY_EXISTS. A game run as administrator
// holds its mutex out of a standard user's reach: the create call then gives NULL with
// ERROR_ACCESS_DENIED, and the mutex exists all the same. Any other code means not found.
bool foundExisting(DWORD lastError) {
    return lastError == ERROR_ALREADY_EXISTS || lastError == ERROR_ACCESS_DENIED;
}

}  // namespace

bool isGameRunning() {
    const Windows::ScopedHandle launcherMutex(CreateMutexA(nullptr, FALSE, kLauncherMutex));
    if (foundExisting(GetLastError())) {
        return true;
    }
    const Windows::ScopedHandle gameMutex(CreateMutexW(nullptr, FALSE, kGameMutex));
    return foundExisting(GetLastError());
}
