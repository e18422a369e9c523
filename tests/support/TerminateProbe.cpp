// terminate_probe: runs itself again with an argument, and that run ends by an exception that nothing
// catches, so that the launcher's terminate handler reports it on the standard error both share. Then
// adds how that run ended: "exit code 3" after an abort. Exit code 0 when so.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

int main(int argc, char**) {
    if (argc > 1) {
        throw std::runtime_error("uncaught on purpose");
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" throw";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::fprintf(stderr, "exit code %lu\n", exitCode);
    return exitCode == 3 ? 0 : 1;
}
