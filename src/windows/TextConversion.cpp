#include "windows/TextConversion.h"

#include <climits>
#include <stdexcept>

#include "windows/WindowsError.h"

namespace Windows {
namespace {

// The conversion functions count in int; a longer text would be cut short without a word.
int checkedLength(std::size_t length, const char* apiName) {
    if (length > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error(std::string(apiName) + ": text too long to convert");
    }
    return static_cast<int>(length);
}

}  // namespace

std::wstring toWideString(const char* text, std::size_t length, UINT codePage) {
    if (length == 0) {
        return {};
    }
    const int textLength = checkedLength(length, "MultiByteToWideChar");

    const int needed = MultiByteToWideChar(codePage, 0, text, textLength, nullptr, 0);
    const DWORD queryError = GetLastError();
    checkApiResult(needed, FailureValue<int>{"MultiByteToWideChar", 0, queryError});

    std::wstring result(static_cast<std::size_t>(needed), L'\0');
    const int converted = MultiByteToWideChar(codePage, 0, text, textLength, result.data(), needed);
    const DWORD convertError = GetLastError();
    checkApiResult(converted, ExpectedValue<int>{"MultiByteToWideChar", needed, convertError});
    return result;
}

std::string toNarrowString(const wchar_t* text, std::size_t length, UINT codePage) {
    if (length == 0) {
        return {};
    }
    const int textLength = checkedLength(length, "WideCharToMultiByte");

    const int needed = WideCharToMultiByte(codePage, 0, text, textLength, nullptr, 0, nullptr, nullptr);
    const DWORD queryError = GetLastError();
    checkApiResult(needed, FailureValue<int>{"WideCharToMultiByte", 0, queryError});

    std::string result(static_cast<std::size_t>(needed), '\0');
    const int converted =
        WideCharToMultiByte(codePage, 0, text, textLength, result.data(), needed, nullptr, nullptr);
    const DWORD convertError = GetLastError();
    checkApiResult(converted, ExpectedValue<int>{"WideCharToMultiByte", needed, convertError});
    return result;
}

}  // namespace Windows
