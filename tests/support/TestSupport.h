#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Small helpers the unit tests share: throw-away folders and files, the registry keys the tests may
// write into their own Wine prefix, and the programs built beside the tests.
namespace TestSupport {

// A new empty folder under %TEMP%, removed with everything in it when the object dies.
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // The folder's path, without a trailing backslash.
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void writeFile(const std::wstring& path, const std::string& content = {});
std::string readFile(const std::wstring& path);
void removeTree(const std::wstring& path);

// Sets the process's current directory for one scope, and puts the old one back.
class CurrentDirectoryScope {
public:
    explicit CurrentDirectoryScope(const std::wstring& directory);
    ~CurrentDirectoryScope();
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;

private:
    std::wstring previous_;
};

// Writes a string value (any type, raw bytes) under `root`\`subKey`, creating the key.
void setRegistryValue(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD type,
                      const void* data, DWORD bytes);
void setRegistryString(HKEY root, const std::wstring& subKey, const std::wstring& name, const std::wstring& value);
void deleteRegistryTree(HKEY root, const std::wstring& subKey);

// The folder of the running test program, where the helper programs are built.
std::wstring testProgramDirectory();

DWORD processHandleCount();

// How many handles `action` leaves open per run. A first run is not counted: the system keeps some
// handles open for good on first use (the predefined registry roots, the named-object directory).
// Exceptions from `action` are swallowed: failure paths must not leak either.
long handleGrowth(const std::function<void()>& action, int runs = 3);

// Waits up to `milliseconds` for `path` to exist.
bool waitForFile(const std::wstring& path, DWORD milliseconds);

// Runs hold_mutex for one scope: it holds the named mutex ('A' or 'W' creation) until destroyed;
// `locked`, with an empty DACL that denies every other process.
class MutexHolder {
public:
    MutexHolder(char kind, const std::wstring& name, bool locked = false);
    ~MutexHolder();
    MutexHolder(const MutexHolder&) = delete;
    MutexHolder& operator=(const MutexHolder&) = delete;

private:
    TempDirectory directory_;
    std::wstring readyFile_;
    HANDLE process_ = nullptr;
};

// For one scope, this program's calls of `function`, imported from `library` ("kernel32.dll"), go to
// `replacement`, which has the function's type: the launcher's code linked into the tests included.
// It makes a race happen at one chosen point. original() is the function itself.
class ImportHook {
public:
    ImportHook(const char* library, const char* function, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    template <typename Function>
    Function original() const {
        return reinterpret_cast<Function>(original_);
    }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// The number of rounds for a generated test: QUORVANE_SOAK_ROUNDS when set, else `usual`.
long soakRounds(long usual);

// How the recording stand-in writes a path in its JSON record (ASCII paths: backslashes doubled).
std::string jsonPath(const std::wstring& path);

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);

}  // namespace TestSupport
