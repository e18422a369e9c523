#include "support/TestSupport.h"

#include <cstring>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace TestSupport {
namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(GetLastError()));
    }
}

}  // namespace

TempDirectory::TempDirectory() {
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH];
    check(GetTempPathW(MAX_PATH, temp) != 0, "GetTempPathW");
    path_ = std::wstring(temp) + L"quorvane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"-" + std::to_wstring(GetTickCount());
    check(CreateDirectoryW(path_.c_str(), nullptr) != FALSE, "CreateDirectoryW");
}

TempDirectory::~TempDirectory() {
    removeTree(path_);
}

void removeTree(const std::wstring& path) {
    // Long paths: the \\?\ form lifts the MAX_PATH limit for the deletion calls.
    const std::wstring root = path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((root + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = root + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(root.c_str());
}

void writeFile(const std::wstring& path, const std::string& content) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    check(file != INVALID_HANDLE_VALUE, "CreateFileW");
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    check(ok != FALSE, "WriteFile");
}

std::string readFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    check(file != INVALID_HANDLE_VALUE, "CreateFileW");
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(file);
    return content;
}

CurrentDirectoryScope::CurrentDirectoryScope(const std::wstring& directory) {
    std::wstring previous(GetCurrentDirectoryW(0, nullptr), L'\0');
    previous.resize(GetCurrentDirectoryW(static_cast<DWORD>(previous.size()), previous.data()));
    previous_ = previous;
    check(SetCurrentDirectoryW(directory.c_str()) != FALSE, "SetCurrentDirectoryW");
}

CurrentDirectoryScope::~CurrentDirectoryScope() {
    SetCurrentDirectoryW(previous_.c_str());
}

void setRegistryValue(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD type,
                      const void* data, DWORD bytes) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        throw std::runtime_error("RegCreateKeyExW failed: " + std::to_string(status));
    }
    status = RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        throw std::runtime_error("RegSetValueExW failed: " + std::to_string(status));
    }
}

void setRegistryString(HKEY root, const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    setRegistryValue(root, subKey, name, REG_SZ, value.c_str(),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void deleteRegistryTree(HKEY root, const std::wstring& subKey) {
    RegDeleteTreeW(root, subKey.c_str());
    RegDeleteKeyW(root, subKey.c_str());
}

std::wstring testProgramDirectory() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L"\\/"));
}

// Wine's GetProcessHandleCount always answers 0, so the handles are counted in the system's handle
// list, which Windows and Wine both give.
DWORD processHandleCount() {
    struct Entry {
        USHORT processId;  // the low 16 bits only: enough to tell our process from the few others here
        USHORT creatorBackTraceIndex;
        UCHAR objectTypeIndex;
        UCHAR handleAttributes;
        USHORT handleValue;
        PVOID object;
        ULONG grantedAccess;
    };
    struct Information {
        ULONG count;
        Entry handles[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    check(query != nullptr, "GetProcAddress");
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        throw std::runtime_error("NtQuerySystemInformation failed: " + std::to_string(status));
    }
    const auto* information = reinterpret_cast<const Information*>(buffer.data());
    const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
    DWORD count = 0;
    for (ULONG index = 0; index < information->count; ++index) {
        count += information->handles[index].processId == self ? 1 : 0;
    }
    return count;
}

long handleGrowth(const std::function<void()>& action, int runs) {
    const auto runOnce = [&] {
        try {
            action();
        } catch (...) {
        }
    };
    runOnce();
    const DWORD before = processHandleCount();
    for (int run = 0; run < runs; ++run) {
        runOnce();
    }
    return (static_cast<long>(processHandleCount()) - static_cast<long>(before)) / runs;
}

namespace {

// The program's import address table entry for `function` of `library`, found by name.
void** importSlot(const char* library, const char* function) {
    const auto base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* const headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports); entry->Name != 0; ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), library) != 0) {
            continue;
        }
        const auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk); name->u1.AddressOfData;
             ++name, ++slot) {
            if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name,
                            function) == 0) {
                return reinterpret_cast<void**>(&slot->u1.Function);
            }
        }
    }
    throw std::runtime_error(std::string("no import of ") + function + " from " + library);
}

}  // namespace

// The table's page is left writable: this is a test program.
ImportHook::ImportHook(const char* library, const char* function, void* replacement)
    : slot_(importSlot(library, function)), original_(*slot_) {
    DWORD protection = 0;
    check(VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &protection) != FALSE, "VirtualProtect");
    *slot_ = replacement;
}

ImportHook::~ImportHook() {
    *slot_ = original_;
}

bool waitForFile(const std::wstring& path, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        Sleep(10);
    }
    return true;
}

MutexHolder::MutexHolder(char kind, const std::wstring& name, bool locked) : readyFile_(directory_.file(L"ready")) {
    // Started in its own folder: the test's current directory may be one an earlier test has removed,
    // and the 32-bit CreateProcessW of Wine's WoW64 mode refuses that with ERROR_INVALID_NAME.
    const std::wstring folder = testProgramDirectory();
    std::wstring commandLine = L"\"" + folder + L"\\" + widen(QUORVANE_HOLD_MUTEX_EXE) + L"\" " +
                               std::wstring(1, static_cast<wchar_t>(kind)) + L" \"" + name + L"\" \"" + readyFile_ +
                               (locked ? L"\" locked" : L"\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    check(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                         &process) != FALSE,
          "CreateProcessW");
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    if (!waitForFile(readyFile_, 20000)) {
        TerminateProcess(process_, 1);
        CloseHandle(process_);
        throw std::runtime_error("hold_mutex did not take the mutex");
    }
}

MutexHolder::~MutexHolder() {
    DeleteFileW(readyFile_.c_str());
    WaitForSingleObject(process_, 10000);
    CloseHandle(process_);
}

long soakRounds(long usual) {
    wchar_t value[32];
    const DWORD length = GetEnvironmentVariableW(L"QUORVANE_SOAK_ROUNDS", value, 32);
    if (length == 0 || length >= 32) {
        return usual;
    }
    const long rounds = std::wcstol(value, nullptr, 10);
    return rounds > 0 ? rounds : usual;
}

std::string jsonPath(const std::wstring& path) {
    std::string escaped;
    for (const char c : narrow(path)) {
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return escaped;
}

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        static_cast<int>(wide.size()));
    return wide;
}

std::string narrow(const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    std::string text(
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr),
        '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                        static_cast<int>(text.size()), nullptr, nullptr);
    return text;
}

}  // namespace TestSupport
