#pragma once

#include <windows.h>

#include <string>

namespace Windows {

// Owns one open registry key, or nothing (null). Closes it on destruction; cannot be copied.
class RegistryKey {
public:
    RegistryKey() noexcept = default;
    explicit RegistryKey(HKEY key) noexcept : key_(key) {}
    RegistryKey(RegistryKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            close();
            key_ = other.key_;
            other.key_ = nullptr;
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { close(); }

    HKEY get() const noexcept { return key_; }

private:
    void close() noexcept {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }

    HKEY key_ = nullptr;
};

// Opens `subKey` below `parent` with `access` passed unchanged: no registry-view flag is added, so a
// 32-bit process sees the 32-bit view. Throws std::system_error for "RegOpenKeyExW".
RegistryKey openRegistryKey(HKEY parent, const std::wstring& subKey, REGSAM access);

// Reads a REG_SZ value as it is stored, less one terminating NUL. The caller's RegistryKey keeps
// owning `key`. Throws std::system_error ("RegGetValue (retrieving buffer size)", "RegGetValue") when
// a query fails, std::invalid_argument for another type or an odd byte count, and std::runtime_error
// when the value shrank between the two queries. Nothing is expanded.
std::wstring getRegistryString(HKEY key, const std::wstring& valueName);

}  // namespace Windows
