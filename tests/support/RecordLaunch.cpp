// Stand-in for the game and the Steam client: records how it was started, as JSON, into the file
// that QUORVANE_RECORD names (UTF-16 text escaped, so any argument survives), then exits. "show" is the
// show command it was asked for (null when none was given).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/JsonText.h"

namespace {

std::wstring currentDirectory() {
    std::wstring directory(GetCurrentDirectoryW(0, nullptr), L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    return directory;
}

}  // namespace

int main() {
    const std::wstring commandLine = GetCommandLineW();
    int count = 0;
    wchar_t** vector = CommandLineToArgvW(commandLine.c_str(), &count);
    std::string json = "{\"commandLine\": " + jsonString(commandLine) + ", \"directory\": " +
                       jsonString(currentDirectory()) + ", \"arguments\": [";
    for (int index = 0; index < count; ++index) {
        json += (index ? ", " : "") + jsonString(vector[index]);
    }
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    const bool shown = startup.dwFlags & STARTF_USESHOWWINDOW;
    json += "], \"show\": " + (shown ? std::to_string(startup.wShowWindow) : std::string("null")) + "}\n";
    LocalFree(vector);

    wchar_t recordPath[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableW(L"QUORVANE_RECORD", recordPath, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4) {
        return 2;
    }
    // Written under a temporary name and renamed, so a reader never sees half a record.
    const std::wstring temporary = std::wstring(recordPath) + L".part";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 3;
    }
    DWORD written = 0;
    WriteFile(file, json.data(), static_cast<DWORD>(json.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(temporary.c_str(), recordPath, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
