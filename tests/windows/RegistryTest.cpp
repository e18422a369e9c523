#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "support/TestSupport.h"
#include "windows/Registry.h"

namespace {

using Windows::getRegistryString;
using Windows::openRegistryKey;
using Windows::RegistryKey;

// Each test gets a private key under HKCU in the tests' own prefix, deleted afterwards.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override {
        subKey_ = L"Software\\QuorvaneTests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(GetTickCount64());
        TestSupport::setRegistryString(HKEY_CURRENT_USER, subKey_, L"seed", L"");
    }
    void TearDown() override { TestSupport::deleteRegistryTree(HKEY_CURRENT_USER, subKey_); }

    void setValue(const std::wstring& name, DWORD type, const std::vector<BYTE>& bytes) {
        TestSupport::setRegistryValue(HKEY_CURRENT_USER, subKey_, name, type, bytes.data(),
                                      static_cast<DWORD>(bytes.size()));
    }
    RegistryKey open() { return openRegistryKey(HKEY_CURRENT_USER, subKey_, KEY_READ); }

    std::wstring subKey_;
};

std::vector<BYTE> bytesOf(const std::wstring& text, std::size_t extraNuls) {
    std::vector<BYTE> bytes(reinterpret_cast<const BYTE*>(text.data()),
                            reinterpret_cast<const BYTE*>(text.data() + text.size()));
    bytes.insert(bytes.end(), extraNuls * sizeof(wchar_t), 0);
    return bytes;
}

TEST_F(RegistryTest, ReadsStringValuesWithTheirExactShape) {
    // Either the text read, or the std::invalid_argument text the value is refused with.
    struct Row {
        const char* name;
        DWORD type;
        std::vector<BYTE> bytes;
        std::wstring text;
        std::string refusal;
    };
    const std::string notString = "getRegistryString() failed: value type may not be string";
    const std::string oddSize = notString + ", bufferBytes % sizeof(wchar_t) != 0";
    const Row rows[] = {
        {"no data", REG_SZ, {}, L"", ""},
        {"only a NUL", REG_SZ, bytesOf(L"", 1), L"", ""},
        {"no terminator", REG_SZ, bytesOf(L"C:\\Games", 0), L"C:\\Games", ""},
        {"terminated", REG_SZ, bytesOf(L"C:\\红警 3", 1), L"C:\\红警 3", ""},
        {"two trailing NULs", REG_SZ, bytesOf(L"ab", 2), std::wstring(L"ab\0", 3), ""},
        {"five bytes", REG_SZ, {'a', 0, 'b', 0, 'c'}, L"", oddSize},
        {"expandable", REG_EXPAND_SZ, bytesOf(L"%SystemRoot%", 1), L"", notString},
        {"odd expandable", REG_EXPAND_SZ, {'%', 0, 'a', 0, '%'}, L"", notString},
        {"multi string", REG_MULTI_SZ, bytesOf(L"a", 2), L"", notString},
        // The type is refused before its (odd) size is looked at.
        {"dword", REG_DWORD, {1, 0, 0, 0}, L"", notString},
        {"odd binary", REG_BINARY, {1, 2, 3}, L"", notString},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring name = TestSupport::widen(row.name);
        setValue(name, row.type, row.bytes);
        const RegistryKey key = open();
        if (row.refusal.empty()) {
            EXPECT_EQ(getRegistryString(key.get(), name), row.text);
            continue;
        }
        try {
            getRegistryString(key.get(), name);
            ADD_FAILURE() << "no exception";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(error.what(), row.refusal);
        }
    }
}

TEST_F(RegistryTest, MissingValueAndMissingKeyAreSystemErrors) {
    {
        const RegistryKey key = open();
        try {
            getRegistryString(key.get(), L"absent");
            FAIL() << "no exception";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code().value(), ERROR_FILE_NOT_FOUND);
            EXPECT_STREQ(error.code().category().name(), "MyWindowsErrorCategory");
            EXPECT_EQ(std::string(error.what()).rfind("RegGetValue (retrieving buffer size) failed: ", 0), 0u);
        }
    }
    try {
        openRegistryKey(HKEY_CURRENT_USER, subKey_ + L"\\absent", KEY_READ);
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(std::string(error.what()).rfind("RegOpenKeyExW failed: ", 0), 0u);
    }
}

// Right after a read's size query, the value is rewritten, as another program may rewrite it.
std::function<void()> afterSizeQuery;
const TestSupport::ImportHook* queryHook = nullptr;

LSTATUS WINAPI queryValueThenChange(HKEY key, const wchar_t* name, DWORD* reserved, DWORD* type, BYTE* data,
                                    DWORD* bytes) {
    const LSTATUS status = queryHook->original<decltype(&RegQueryValueExW)>()(key, name, reserved, type, data, bytes);
    if (data == nullptr && afterSizeQuery) {
        afterSizeQuery();
        afterSizeQuery = nullptr;
    }
    return status;
}

// A value that shrank between the queries is refused, one that grew fails in the data query: never
// read partly.
TEST_F(RegistryTest, ValueChangingBetweenTheQueriesIsNeverReadPartly) {
    const std::wstring shortText = L"short";
    const std::wstring longText(300, L'L');
    const RegistryKey key = open();
    const TestSupport::ImportHook hook("advapi32.dll", "RegQueryValueExW",
                                       reinterpret_cast<void*>(&queryValueThenChange));
    queryHook = &hook;
    for (const bool grows : {false, true}) {
        SCOPED_TRACE(grows ? "grew" : "shrank");
        setValue(L"moving", REG_SZ, bytesOf(grows ? shortText : longText, 1));
        afterSizeQuery = [&] { setValue(L"moving", REG_SZ, bytesOf(grows ? longText : shortText, 1)); };
        try {
            ADD_FAILURE() << "read " << TestSupport::narrow(getRegistryString(key.get(), L"moving"));
        } catch (const std::system_error& error) {
            EXPECT_TRUE(grows);
            EXPECT_EQ(error.code().value(), ERROR_MORE_DATA);
            EXPECT_EQ(std::string(error.what()).rfind("RegGetValue failed: ", 0), 0u);
        } catch (const std::runtime_error& error) {
            EXPECT_FALSE(grows);
            EXPECT_STREQ(error.what(), "getRegistryString() failed, bufferBytes != result.size() * sizeof(wchar_t)");
        }
        EXPECT_FALSE(afterSizeQuery);  // the value changed between the queries
    }
}

TEST_F(RegistryTest, KeysAreClosedOnEveryPath) {
    setValue(L"text", REG_SZ, bytesOf(L"value", 1));
    setValue(L"number", REG_DWORD, {1, 0, 0, 0});
    const std::wstring absentKey = subKey_ + L"\\absent";
    const long growth = TestSupport::handleGrowth([&] {
        const RegistryKey key = open();
        getRegistryString(key.get(), L"text");
        EXPECT_THROW(getRegistryString(key.get(), L"number"), std::invalid_argument);
        EXPECT_THROW(getRegistryString(key.get(), L"absent"), std::system_error);
        RegistryKey moved = open();
        RegistryKey target(std::move(moved));
        target = open();  // closes the key it held
        EXPECT_EQ(moved.get(), nullptr);
        RegistryKey& alias = target;
        target = std::move(alias);  // keeps its key, open
        EXPECT_NO_THROW(getRegistryString(target.get(), L"text"));
        EXPECT_THROW(openRegistryKey(HKEY_CURRENT_USER, absentKey, KEY_READ), std::system_error);
    });
    EXPECT_EQ(growth, 0);
}

}  // namespace
