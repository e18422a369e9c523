#pragma once

#include <windows.h>

#include <memory>

namespace Windows {

struct LocalFreeDeleter {
    void operator()(void* memory) const noexcept { LocalFree(memory); }
};

// Owner of a buffer that Windows allocated with LocalAlloc (FormatMessageW, CommandLineToArgvW).
template <typename T>
using LocalMemory = std::unique_ptr<T, LocalFreeDeleter>;

}  // namespace Windows
