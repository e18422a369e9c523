#include "windows/WindowsError.h"

#include "windows/LocalMemory.h"
#include "windows/TextConversion.h"

namespace Windows {
namespace {

constexpr char kCategoryName[] = "MyWindowsErrorCategory";
constexpr char kNoMessage[] = "<Cannot retrieve error message>";
constexpr DWORD kEnglishUnitedStates = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr DWORD kUserDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

}  // namespace

const char* WindowsErrorCategory::name() const noexcept {
    return kCategoryName;
}

std::string WindowsErrorCategory::message(int code) const {
    std::string text = formatSystemMessage(static_cast<DWORD>(code), kEnglishUnitedStates);
    text += '\n';
    text += formatSystemMessage(static_cast<DWORD>(code), kUserDefaultLanguage);
    return text;
}

WindowsErrorCategory& getWindowsErrorCategory() {
    // The first use of a thread_local goes through the runtime's TLS support (TlsGetValue and
    // friends), which resets the last-error value; callers read it right before calling us.
    const DWORD lastError = GetLastError();
    thread_local WindowsErrorCategory category;
    SetLastError(lastError);
    return category;
}

std::string formatSystemMessage(DWORD code, DWORD languageId) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
        languageId, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0) {
        return kNoMessage;
    }
    const LocalMemory<wchar_t> owner(buffer);
    try {
        return toNarrowString(owner.get(), length, CP_UTF8);
    } catch (...) {
        return kNoMessage;
    }
}

void throwApiFailure(std::string_view apiName, DWORD code) {
    std::string whatArgument(apiName);
    whatArgument += " failed";
    throw std::system_error(static_cast<int>(code), getWindowsErrorCategory(), whatArgument);
}

}  // namespace Windows
