#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "mod/CommandLine.h"
#include "support/TestSupport.h"

namespace {

// The system's own reading of a command line: what the started program will see.
ArgumentList systemSplit(const std::wstring& commandLine) {
    int count = 0;
    wchar_t** vector = CommandLineToArgvW(commandLine.c_str(), &count);
    ArgumentList arguments(vector, vector + count);
    LocalFree(vector);
    return arguments;
}

// Everything after element 0 of "prog.exe<joined>", as the started program receives it.
ArgumentList passedOn(const ArgumentList& arguments) {
    ArgumentList received = systemSplit(L"prog.exe" + joinArguments(arguments));
    received.erase(received.begin());
    return received;
}

TEST(CommandLineTest, QuotedFormsArePinnedAndSurviveTheSystemSplit) {
    struct Row {
        std::wstring argument;
        std::wstring quoted;
    };
    const Row rows[] = {
        // plain
        {L"abc", L"abc"},
        {L"-modConfig", L"-modConfig"},
        // blanks and tabs wrap the argument
        {L"a b", L"\"a b\""},
        {L"a\tb", L"\"a\tb\""},
        {L" ", L"\" \""},
        // other white space does not
        {L"a\nb", L"a\nb"},
        {L"a\vb", L"a\vb"},
        // backslashes not before a quotation mark stay single
        {L"a\\b", L"a\\b"},
        {L"C:\\dir\\", L"C:\\dir\\"},
        {L"\\\\server\\share", L"\\\\server\\share"},
        // quotation marks are escaped, without wrapping
        {L"a\"b", L"a\\\"b"},
        {L"\"", L"\\\""},
        // backslashes before a quotation mark are doubled, plus the mark's own escape
        {L"\\\\\"", L"\\\\\\\\\\\""},
        {L"a\\\"b c", L"\"a\\\\\\\"b c\""},
        // a trailing backslash run before the closing quotation mark is doubled
        {L"C:\\My Dir\\", L"\"C:\\My Dir\\\\\""},
        {L"a b\\\\", L"\"a b\\\\\\\\\""},
        // an empty argument is kept as ""
        {L"", L"\"\""},
        // injection attempts stay one argument
        {L"x\" -modConfig \"evil.SkuDef", L"\"x\\\" -modConfig \\\"evil.SkuDef\""},
        {L"\\\" & calc.exe", L"\"\\\\\\\" & calc.exe\""},
        // CJK and astral characters pass as they are
        {L"红警 3", L"\"红警 3\""},
        {L"\U0001F680", L"\U0001F680"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.argument));
        EXPECT_EQ(quoteArgument(row.argument), row.quoted);
        EXPECT_EQ(passedOn({L"launcher.exe", row.argument}), (ArgumentList{row.argument}));
    }
}

TEST(CommandLineTest, JoinSkipsElementZeroAndKeepsEmptyArguments) {
    EXPECT_EQ(joinArguments({}), L"");
    EXPECT_EQ(joinArguments({L"launcher.exe"}), L"");
    EXPECT_EQ(joinArguments({L"C:\\My Mods\\X.exe", L"-a", L"b c"}), L" -a \"b c\"");
    // Without the quotation marks the empty argument would vanish and shift "-b" into its place.
    const ArgumentList withEmpty{L"launcher.exe", L"-a", L"", L"-b"};
    EXPECT_EQ(joinArguments(withEmpty), L" -a \"\" -b");
    EXPECT_EQ(passedOn(withEmpty), (ArgumentList{L"-a", L"", L"-b"}));
}

TEST(CommandLineTest, SplitUsesTheSystemRules) {
    EXPECT_TRUE(splitCommandLine(L"").empty());
    EXPECT_EQ(splitCommandLine(L"\"C:\\My Mods\\X.exe\" -a \"b c\""),
              (ArgumentList{L"C:\\My Mods\\X.exe", L"-a", L"b c"}));
    EXPECT_EQ(splitCommandLine(L"launcher.exe"), (ArgumentList{L"launcher.exe"}));
    // Element 0 is read as a path: its backslashes are never escapes.
    EXPECT_EQ(splitCommandLine(L"C:\\a\\\\ x\\\"y")[0], L"C:\\a\\\\");
}

// Thousands of random argument lists through joinArguments and back through the real
// CommandLineToArgvW: nothing may split, merge, vanish or appear. QUORVANE_SOAK_ROUNDS raises the count.
TEST(CommandLineTest, RandomArgumentListsRoundTripThroughTheSystemSplit) {
    const std::vector<std::wstring> pieces{
        L"a",  L"Z",  L"0",   L"-",   L" ",      L"  ",     L"\t",     L"\\",         L"\\\\", L"\\\\\\",
        L"\"", L"\"\"", L"\n", L"\r\n", L"红",    L"警",     L"\u3000", L"\U0001F680", L"\U00020000",
        L"=",  L"&",  L"^",   L"%",   L"\\\"",   L"\"\\",   L"\x00A0", L"/",          L":"};
    std::mt19937 random(20261207);
    const long lists = TestSupport::soakRounds(5000);
    for (long list = 0; list < lists; ++list) {
        ArgumentList arguments{L"launcher.exe"};
        const int count = std::uniform_int_distribution<int>(0, 6)(random);
        for (int index = 0; index < count; ++index) {
            std::wstring argument;
            const int length = std::uniform_int_distribution<int>(0, 8)(random);
            for (int piece = 0; piece < length; ++piece) {
                argument += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
            }
            arguments.push_back(argument);
        }
        const ArgumentList expected(arguments.begin() + 1, arguments.end());
        const ArgumentList received = passedOn(arguments);
        ASSERT_EQ(received, expected) << "list " << list << ": " << testing::PrintToString(joinArguments(arguments));
    }
}

}  // namespace
