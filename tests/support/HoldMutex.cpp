// hold_mutex A|W NAME READY_FILE [locked]
// Holds the named mutex (created with CreateMutexA or CreateMutexW) the way a running game does,
// writes READY_FILE once it does, and lets go when READY_FILE has been deleted (or after a minute).
// "locked" gives the mutex an empty DACL, as a game run as administrator is out of a standard user's
// reach: another process's CreateMutex then fails with ERROR_ACCESS_DENIED.
#include <windows.h>
#include <shellapi.h>

#include <string>

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count != 4 && !(count == 5 && std::wstring(arguments[4]) == L"locked")) {
        return 2;
    }
    const std::wstring kind = arguments[1];
    const std::wstring name = arguments[2];
    const std::wstring readyFile = arguments[3];
    const bool locked = count == 5;
    LocalFree(arguments);

    ACL emptyAcl;
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    if (!InitializeAcl(&emptyAcl, sizeof(emptyAcl), ACL_REVISION) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, &emptyAcl, FALSE)) {
        return 5;
    }
    SECURITY_ATTRIBUTES* const security = locked ? &attributes : nullptr;
    HANDLE mutex = nullptr;
    if (kind == L"A") {
        std::string narrow(name.begin(), name.end());  // the game's names are ASCII
        mutex = CreateMutexA(security, TRUE, narrow.c_str());
    } else {
        mutex = CreateMutexW(security, TRUE, name.c_str());
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
