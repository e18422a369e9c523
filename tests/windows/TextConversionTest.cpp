#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "windows/TextConversion.h"

namespace {

using Windows::toNarrowString;
using Windows::toWideString;

TEST(TextConversionTest, RoundTripsKeepEveryUnit) {
    struct Row {
        const char* name;
        std::wstring wide;
        std::string utf8;
    };
    const Row rows[] = {
        {"ascii", L"abc", "abc"},
        {"cjk", L"启动红警3", "\xe5\x90\xaf\xe5\x8a\xa8\xe7\xba\xa2\xe8\xad\xa6" "3"},
        {"astral", L"\U0001F680x\U00020000", "\xf0\x9f\x9a\x80x\xf0\xa0\x80\x80"},
        {"embedded NULs", std::wstring(L"a\0b\0", 4), std::string("a\0b\0", 4)},
        {"only a NUL", std::wstring(1, L'\0'), std::string(1, '\0')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(toNarrowString(row.wide.data(), row.wide.size(), CP_UTF8), row.utf8);
        EXPECT_EQ(toWideString(row.utf8.data(), row.utf8.size(), CP_UTF8), row.wide);
    }
}

TEST(TextConversionTest, EmptyInputNeedsNoText) {
    EXPECT_EQ(toWideString(nullptr, 0, CP_UTF8), L"");
    EXPECT_EQ(toNarrowString(nullptr, 0, CP_UTF8), "");
}

TEST(TextConversionTest, ExplicitLengthIsHonoured) {
    EXPECT_EQ(toWideString("abcdef", 3, CP_UTF8), L"abc");
    EXPECT_EQ(toNarrowString(L"abcdef", 2, CP_UTF8), "ab");
}

TEST(TextConversionTest, RejectedInputIsASystemErrorNotATruncatedString) {
    // An unknown code page makes the length query fail.
    try {
        toWideString("abc", 3, 0xFFFF);
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_STREQ(error.code().category().name(), "MyWindowsErrorCategory");
        EXPECT_EQ(std::string(error.what()).rfind("MultiByteToWideChar failed: ", 0), 0u) << error.what();
        EXPECT_NE(error.code().value(), 0);
    }
    try {
        toNarrowString(L"abc", 3, 0xFFFF);
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("WideCharToMultiByte failed: ", 0), 0u) << error.what();
    }
}

}  // namespace
