#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mod/LauncherIdentity.h"

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
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.path));
        const LauncherIdentity identity = identityOf(row.path);
        EXPECT_EQ(identity.modName, row.modName);
        EXPECT_EQ(identity.isSteamEdition, row.isSteamEdition);
    }
}

// Whatever the file name, the mod name is one contiguous piece of it, after its last separator.
TEST(LauncherIdentityTest, RandomFileNamesGiveAPieceOfTheName) {
    const std::wstring pieces[] = {L"启动", L"(Steam版)", L"(STEAM版)", L".exe", L".EXE", L"\\", L"/",
                                   L"a", L" ", L"\xD800", L"\xDC00", L"\U0001F680", L".", L"版", L"e"};
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::wstring path;
        const int length = std::uniform_int_distribution<int>(0, 7)(random);
        for (int piece = 0; piece < length; ++piece) {
            path += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
        }
        const LauncherIdentity identity = identityOf(path);
        const std::size_t separator = path.find_last_of(L"\\/");
        const std::wstring fileName = separator == std::wstring::npos ? path : path.substr(separator + 1);
        ASSERT_NE(fileName.find(identity.modName), std::wstring::npos) << testing::PrintToString(path);
        ASSERT_EQ(identity.modName.find_first_of(L"\\/"), std::wstring::npos) << testing::PrintToString(path);
    }
}

}  // namespace
