// terminate_probe: runs itself again with an argument, and that run ends by an exception that nothing
// catches, so that the launcher's terminate handler reports it on the standard error both share. Then
// adds how that run ended: "exit code 3" after an abort. Exit code 0 when so.
#include <windows.h>
#include <process.h>

#include <cstdio>
#include <stdexcept>

int main(int argc, char**) {
    if (argc > 1) {
        throw std::runtime_error("uncaught on purpose");
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const intptr_t exitCode = _wspawnl(_P_WAIT, self, L"terminate_probe", L"throw", nullptr);
    std::fprintf(stderr, "exit code %d\n", static_cast<int>(exitCode));
    return exitCode == 3 ? 0 : 1;
}
