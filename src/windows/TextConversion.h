#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace Windows {

// Converts `length` bytes of text in `codePage` (NULs inside included, no terminator needed) to UTF-16.
// Empty input gives an empty result without any Win32 call. Throws std::system_error for
// "MultiByteToWideChar" when the system rejects the text or converts fewer units than it announced.
std::wstring toWideString(const char* text, std::size_t length, UINT codePage);

// Converts `length` UTF-16 units (NULs inside included) to text in `codePage`. Empty input gives an
// empty result without any Win32 call. Throws std::system_error for "WideCharToMultiByte".
std::string toNarrowString(const wchar_t* text, std::size_t length, UINT codePage);

}  // namespace Windows
