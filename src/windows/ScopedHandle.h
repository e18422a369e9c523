#pragma once

#include <windows.h>

namespace Windows {

// Owns one kernel object handle, or nothing. Null is the only "nothing": INVALID_HANDLE_VALUE is the
// current process's pseudo-handle and is closed like any other. Cannot be copied.
class ScopedHandle {
public:
    ScopedHandle() noexcept = default;
    explicit ScopedHandle(HANDLE handle) noexcept : handle_(handle) {}
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = other.handle_;
            other.handle_ = nullptr;
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { close(); }

    HANDLE get() const noexcept { return handle_; }

private:
    void close() noexcept {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }

    HANDLE handle_ = nullptr;
};

}  // namespace Windows
