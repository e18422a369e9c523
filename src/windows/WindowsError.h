#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace Windows {

// The launcher's error category for Win32 codes. It is recognised by its name(), never by address:
// every thread has an instance of its own.
class WindowsErrorCategory : public std::error_category {
public:
    ~WindowsErrorCategory() override = default;
    const char* name() const noexcept override;
    // The English (United States) system text, "\n", then the text in the user's language (UTF-8).
    // Either half is "<Cannot retrieve error message>" when the system has no text for the code.
    std::string message(int code) const override;
};

// The calling thread's category instance, set up on the thread's first call and destroyed when the
// thread ends. Leaves the thread's last-error value as it found it.
WindowsErrorCategory& getWindowsErrorCategory();

// The system text for a Win32 code in one language, untrimmed (CR LF included), as UTF-8.
// Never throws for a missing text or a failed conversion: it then gives "<Cannot retrieve error message>".
std::string formatSystemMessage(DWORD code, DWORD languageId);

// How a Win32 result is judged. The rule is part of the check's type; the reference value has the
// call's own result type, so a BOOL, a length and a status cannot be mixed up.
enum class Rule { FailureValue, ExpectedValue };

// For calls that report through the thread's last-error value: lastError is GetLastError() read
// immediately after the call, whether it failed or not.
template <Rule R, typename T>
struct ApiResultCheck {
    std::string_view apiName;
    T reference;
    DWORD lastError;
};

// The call failed when its result equals `reference` (NULL, FALSE, 0).
template <typename T>
using FailureValue = ApiResultCheck<Rule::FailureValue, T>;
// The call failed when its result differs from `reference` (a length reported earlier).
template <typename T>
using ExpectedValue = ApiResultCheck<Rule::ExpectedValue, T>;

// For the registry functions, which return their error as a status: anything but ERROR_SUCCESS
// failed, and the status itself is the code.
struct StatusCheck {
    std::string_view apiName;
};

// The exception for a failed call: code `code`, the thread's category, what() = apiName + " failed: "
// + the category's message for the code.
[[noreturn]] void throwApiFailure(std::string_view apiName, DWORD code);

// Returns `result` when the rule says the call succeeded, otherwise throws the std::system_error above.
template <Rule R, typename T, typename U>
T checkApiResult(T result, const ApiResultCheck<R, U>& check) {
    static_assert(std::is_same_v<T, U>, "the check's reference value must have the call's result type");
    const bool failed = R == Rule::FailureValue ? result == check.reference : result != check.reference;
    if (failed) {
        throwApiFailure(check.apiName, check.lastError);
    }
    return result;
}

template <typename T>
T checkApiResult(T status, const StatusCheck& check) {
    static_assert(std::is_same_v<T, LSTATUS>, "a status check takes the LSTATUS a registry function returned");
    if (status != ERROR_SUCCESS) {
        throwApiFailure(check.apiName, static_cast<DWORD>(status));
    }
    return status;
}

}  // namespace Windows
