#include <gtest/gtest.h>

#include <cwctype>
#include <random>
#include <string>

#include "mod/LauncherIdentity.h"
#include "support/TestSupport.h"

namespace {

constexpr std::wstring_view kPrefix = L"启动";
constexpr std::wstring_view kSteamMarker = L"(Steam版)";
constexpr std::wstring_view kExtension = L".exe";

LauncherIdentity identityOf(const std::wstring& path) {
    return retrieveModName(kPrefix, kSteamMarker, kExtension, path);
}

TEST(LauncherIdentityTest, FileNamesGiveModNameAndEdition) {
    struct Row {
        std::wstring path;
        std::wstring modName;
        bool isSteamEdition;
    };
    const Row rows[] = {
        {L"C:\\Games\\RA3 Mods\\启动MyMod.exe", L"MyMod", false},
        {L"C:\\Games\\RA3 Mods\\启动MyMod(Steam版).exe", L"MyMod", true},
        {L"MyMod(Steam版).exe", L"MyMod", true},
        {L"D:/Games/MyMod.EXE", L"MyMod", false},
        {L"D:\\Games/sub\\X.exe", L"X", false},
        {L"MyMod(STEAM版)", L"MyMod", true},
        {L"启动MyMod(sTeAm版).ExE", L"MyMod", true},
        {L"MyMod.exe(Steam版)", L"MyMod.exe", true},
        {L"MyMod.exe.bak", L"MyMod.exe.bak", false},
        {L"启动启动X.exe", L"启动X", false},
        {L"X启动.exe", L"X启动", false},
        {L"X(Steam版)(Steam版).exe", L"X(Steam版)", true},
        {L"启动 My Mod .exe", L" My Mod ", false},
        {L"C:MyMod.exe", L"C:MyMod", false},
        {L"A", L"A", false},
        {L"启动abc", L"abc", false},
        {L"启动", L"", false},
        {L"启动.exe", L"", false},
        {L"启动(Steam版).exe", L"", true},
        {L"C:\\Mods\\", L"", false},
        {L"", L"", false},
        {L"C:\\启动\\红警 模组.exe", L"红警 模组", false},
        // Only ASCII letters fold: a full-width E is no "e".
        {L"MyMod.\uFF25XE", L"MyMod.\uFF25XE", false},
        // Typed with a Chinese input method's full-width parentheses, the marker is part of the name.
        {L"启动MyMod\uFF08Steam版\uFF09.exe", L"MyMod\uFF08Steam版\uFF09", false},
        // Renamed to 启动MyMod.exe where Explorer hides extensions: only the last ".exe" goes.
        {L"启动MyMod.exe.exe", L"MyMod.exe", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.path));
        const LauncherIdentity identity = identityOf(row.path);
        EXPECT_EQ(identity.modName, row.modName);
        EXPECT_EQ(identity.isSteamEdition, row.isSteamEdition);
    }
}

// Whatever the file name (any UTF-16, unpaired surrogates, separators, affixes anywhere and in any
// case), the mod name is one contiguous piece of it after its last separator, and nothing throws.
// QUORVANE_SOAK_ROUNDS raises the count for a longer run.
TEST(LauncherIdentityTest, RandomFileNamesGiveAPieceOfTheName) {
    const std::wstring pieces[] = {L"启动", L"(Steam版)", L".exe", L"\\", L"/", L" ", L"\xD800", L"\xDC00",
                                   L"\U0001F680", L".", L"版", L"e", L"(", L")"};
    std::mt19937 random(7);
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const long rounds = TestSupport::soakRounds(20000);
    for (long round = 0; round < rounds; ++round) {
        std::wstring path;
        const int length = pick(0, 8);
        for (int piece = 0; piece < length; ++piece) {
            if (pick(0, 3) == 0) {
                path += static_cast<wchar_t>(pick(1, 0xFFFF));
                continue;
            }
            std::wstring text = pieces[pick(0, static_cast<int>(std::size(pieces)) - 1)];
            for (wchar_t& unit : text) {
                if (unit < 0x80 && pick(0, 1)) {
                    unit = static_cast<wchar_t>(std::towupper(unit));
                }
            }
            path += text;
        }
        const LauncherIdentity identity = retrieveModName(kPrefix, kSteamMarker, kExtension, path);
        const std::size_t separator = path.find_last_of(L"\\/");
        const std::wstring fileName = separator == std::wstring::npos ? path : path.substr(separator + 1);
        ASSERT_NE(fileName.find(identity.modName), std::wstring::npos) << testing::PrintToString(path);
        ASSERT_EQ(identity.modName.find_first_of(L"\\/"), std::wstring::npos) << testing::PrintToString(path);
        ASSERT_LE(identity.modName.size() + (identity.isSteamEdition ? kSteamMarker.size() : 0), fileName.size());
    }
}

}  // namespace
