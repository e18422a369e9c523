#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <thread>

#include "windows/WindowsError.h"

namespace {

using Windows::checkApiResult;
using Windows::getWindowsErrorCategory;

std::string whatOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::system_error& error) {
        return error.what();
    }
    return {};
}

TEST(WindowsErrorTest, RealFailingCallCarriesCodeCategoryAndText) {
    const HANDLE file = CreateFileW(L"C:\\no\\such\\folder\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
    const DWORD lastError = GetLastError();
    try {
        checkApiResult(file, Windows::FailureValue<HANDLE>{"CreateFileW", INVALID_HANDLE_VALUE, lastError});
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ERROR_PATH_NOT_FOUND);
        EXPECT_STREQ(error.code().category().name(), "MyWindowsErrorCategory");
        const std::string what = error.what();
        EXPECT_EQ(what.rfind("CreateFileW failed: ", 0), 0u) << what;
        // English text, a line feed, the user's text; each system text keeps its CR LF.
        EXPECT_EQ(what.substr(std::string("CreateFileW failed: ").size()),
                  getWindowsErrorCategory().message(ERROR_PATH_NOT_FOUND));
    }
}

TEST(WindowsErrorTest, MessageJoinsEnglishAndUserTexts) {
    // A text with an insert ("%1 is not a valid Win32 application", what a damaged RA3.exe gives)
    // comes as it is, in both languages.
    const struct {
        DWORD code;
        const char* english;
        const char* user;
    } rows[] = {{ERROR_ACCESS_DENIED, "ccess", "拒绝"}, {ERROR_BAD_EXE_FORMAT, "%1", "%1"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        const std::string message = getWindowsErrorCategory().message(row.code);
        const std::size_t lineFeed = message.find("\r\n\n");
        ASSERT_NE(lineFeed, std::string::npos) << message;
        EXPECT_EQ(message.substr(0, lineFeed + 2), Windows::formatSystemMessage(row.code, 0x0409));
        EXPECT_EQ(message.substr(lineFeed + 3), Windows::formatSystemMessage(row.code, 0x0400));
        EXPECT_NE(message.substr(0, lineFeed).find(row.english), std::string::npos) << message;
        EXPECT_NE(message.substr(lineFeed + 3).find(row.user), std::string::npos) << message;
    }
}

// The tests' Wine is a Simplified-Chinese Windows, as players' systems are: should its set-up slip
// back to Wine's English default, every other test here would still pass, but prove less.
TEST(WindowsErrorTest, TestsRunOnASimplifiedChineseWindows) {
    EXPECT_EQ(GetACP(), 936u);
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x0804);
    // The system's own texts in Chinese ("访问被拒绝。" under Wine): a CJK ideograph first.
    const std::string text = Windows::formatSystemMessage(ERROR_ACCESS_DENIED, 0x0400);
    ASSERT_GE(text.size(), 3u);
    EXPECT_TRUE(static_cast<unsigned char>(text[0]) >= 0xE4 && static_cast<unsigned char>(text[0]) <= 0xE9) << text;
}

TEST(WindowsErrorTest, CodeWithoutTextFallsBackInBothHalves) {
    EXPECT_EQ(getWindowsErrorCategory().message(0x2FFFFFF0),
              "<Cannot retrieve error message>\n<Cannot retrieve error message>");
}

TEST(WindowsErrorTest, RulesAndResultTypes) {
    // Failure value: only the reference fails.
    EXPECT_EQ(checkApiResult(TRUE, Windows::FailureValue<BOOL>{"A", FALSE, 5}), TRUE);
    EXPECT_EQ(checkApiResult(7, Windows::FailureValue<BOOL>{"A", FALSE, 5}), 7);
    EXPECT_EQ(whatOf([] { checkApiResult(FALSE, Windows::FailureValue<BOOL>{"A", FALSE, 5}); }).rfind("A failed: ", 0),
              0u);
    // Expected value: anything else fails, even with a last-error value of 0. The code is the one read
    // at the call, not the thread's last error by now.
    EXPECT_EQ(checkApiResult(12, Windows::ExpectedValue<int>{"B", 12, 0}), 12);
    SetLastError(ERROR_ACCESS_DENIED);
    try {
        checkApiResult(11, Windows::ExpectedValue<int>{"B", 12, 0});
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), 0);
    }
    // A status is its own code.
    try {
        checkApiResult(LSTATUS{ERROR_FILE_NOT_FOUND}, Windows::StatusCheck{"RegGetValue"});
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(std::string(error.what()).rfind("RegGetValue failed: ", 0), 0u);
    }
    // A pointer's failure value is null.
    int object = 0;
    EXPECT_EQ(checkApiResult(&object, Windows::FailureValue<int*>{"C", nullptr, 0}), &object);
}

TEST(WindowsErrorTest, SuccessLeavesLastErrorAlone) {
    SetLastError(1234);
    checkApiResult(TRUE, Windows::FailureValue<BOOL>{"A", FALSE, 0});
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(WindowsErrorTest, CategoryAccessKeepsLastErrorAlsoOnAThreadsFirstCall) {
    DWORD afterFirst = 0;
    DWORD afterSecond = 0;
    // Each thread has an instance of its own; they are told apart by nothing but address, taken while
    // both threads live (a finished thread's memory may be reused).
    const Windows::WindowsErrorCategory* const mainCategory = &getWindowsErrorCategory();
    bool ownInstance = false;
    std::thread([&] {
        SetLastError(5);
        ownInstance = &getWindowsErrorCategory() != mainCategory;
        afterFirst = GetLastError();
        SetLastError(87);
        getWindowsErrorCategory();
        afterSecond = GetLastError();
    }).join();
    EXPECT_EQ(afterFirst, 5u);
    EXPECT_EQ(afterSecond, 87u);
    EXPECT_TRUE(ownInstance);
    EXPECT_STREQ(getWindowsErrorCategory().name(), "MyWindowsErrorCategory");
}

}  // namespace
