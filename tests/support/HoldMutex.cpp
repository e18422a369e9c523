// hold_mutex A|W NAME READY_FILE
// Holds the named mutex (created with CreateMutexA or CreateMutexW) the way a running game does,
// writes READY_FILE once it does, and lets go when READY_FILE has been deleted (or after a minute).
#include <windows.h>
#include <shellapi.h>

#include <string>

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count != 4) {
        return 2;
    }
    const std::wstring kind = arguments[1];
    const std::wstring name = arguments[2];
    const std::wstring readyFile = arguments[3];
    LocalFree(arguments);

    HANDLE mutex = nullptr;
    if (kind == L"A") {
        std::string narrow(name.begin(), name.end());  // the game's names are ASCII
        mutex = CreateMutexA(nullptr, TRUE, narrow.c_str());
    } else {
        mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    }
    if (mutex == nullptr) {
        return 3;
    }
    const HANDLE ready = CreateFileW(readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        return 4;
    }
    CloseHandle(ready);
    for (int tick = 0; tick < 3000 && GetFileAttributesW(readyFile.c_str()) != INVALID_FILE_ATTRIBUTES; ++tick) {
        Sleep(20);
    }
    CloseHandle(mutex);
    return 0;
}
