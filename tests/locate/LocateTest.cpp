#include <gtest/gtest.h>

#include <windows.h>
#include <cderr.h>
#include <commdlg.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "locate/FileDialog.h"
#include "locate/GameLocation.h"
#include "locate/SteamLocation.h"
#include "support/FakeModal.h"
#include "support/TestSupport.h"

namespace {

const wchar_t kGameKey[] = L"Software\\Electronic Arts\\Electronic Arts\\Red Alert 3";
const wchar_t kSteamKey[] = L"Software\\Valve\\Steam";
const std::wstring kNotice = L"没能在你的电脑上找到红警3，请手动设置红警3的路径";
const std::wstring kFilterText(L"红色警戒3 (RA3.exe)\0RA3.exe\0\0", 25);

// The fixed keys of the game and Steam, written into the tests' prefix and removed again.
class LocateTest : public testing::Test {
protected:
    void SetUp() override {
        FakeModal::reset();
        clearKeys();
    }
    void TearDown() override { clearKeys(); }
    static void clearKeys() {
        TestSupport::deleteRegistryTree(HKEY_LOCAL_MACHINE, kGameKey);
        TestSupport::deleteRegistryTree(HKEY_CURRENT_USER, kSteamKey);
    }
    void installGame(const std::wstring& installDir) {
        TestSupport::setRegistryString(HKEY_LOCAL_MACHINE, kGameKey, L"Install Dir", installDir);
    }

    TestSupport::TempDirectory folder_;
};

std::string failureText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(no exception)";
}

TEST_F(LocateTest, SteamPathIsReturnedAsStored) {
    for (const std::wstring stored : {L"C:/Program Files (x86)/Steam/steam.exe", L"D:\\missing\\steam.exe", L""}) {
        SCOPED_TRACE(TestSupport::narrow(stored));
        TestSupport::setRegistryString(HKEY_CURRENT_USER, kSteamKey, L"SteamExe", stored);
        EXPECT_EQ(getSteamExePath(), stored);
    }
}

TEST_F(LocateTest, SteamFailuresAreWrappedWithTheirCause) {
    EXPECT_EQ(TestSupport::handleGrowth([] { getSteamExePath(); }), 0);
    EXPECT_EQ(failureText([] { getSteamExePath(); }).rfind("Failed to retrieve steam.exe path: RegOpenKeyExW failed: ", 0),
              0u);
    TestSupport::setRegistryString(HKEY_CURRENT_USER, kSteamKey, L"Other", L"x");
    EXPECT_EQ(failureText([] { getSteamExePath(); })
                  .rfind("Failed to retrieve steam.exe path: RegGetValue (retrieving buffer size) failed: ", 0),
              0u);
    const std::wstring expandable = L"%ProgramFiles%\\Steam\\steam.exe";
    TestSupport::setRegistryValue(HKEY_CURRENT_USER, kSteamKey, L"SteamExe", REG_EXPAND_SZ, expandable.c_str(),
                                  static_cast<DWORD>((expandable.size() + 1) * 2));
    EXPECT_EQ(failureText([] { getSteamExePath(); }),
              "Failed to retrieve steam.exe path: getRegistryString() failed: value type may not be string");
    EXPECT_EQ(TestSupport::handleGrowth([] { getSteamExePath(); }), 0);
}

TEST_F(LocateTest, FileDialogIsSetUpAndItsOutcomesMapped) {
    FakeModal::scriptDialog({L"D:\\Games\\RA3\\RA3.exe", 0});
    EXPECT_EQ(selectFile(L"Title", {{L"Game (RA3.exe)", L"RA3.exe"}, {L"All", L"*.*"}}),
              std::optional<std::wstring>(L"D:\\Games\\RA3\\RA3.exe"));
    ASSERT_EQ(FakeModal::dialogCalls().size(), 1u);
    const FakeModal::DialogCall& call = FakeModal::dialogCalls()[0];
    // The structure's own size: the version-4.0 size gives the older style of dialog.
    EXPECT_EQ(call.structSize, sizeof(OPENFILENAMEW));
    EXPECT_EQ(call.flags, static_cast<DWORD>(OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));
    EXPECT_EQ(call.maxFile, 512u);
    EXPECT_EQ(call.title, L"Title");
    EXPECT_EQ(call.filterText, std::wstring(L"Game (RA3.exe)\0RA3.exe\0All\0*.*\0\0", 32));
    EXPECT_TRUE(call.initialFile.empty());
    EXPECT_FALSE(call.hasOwner);

    FakeModal::scriptDialog({std::nullopt, 0});
    EXPECT_EQ(selectFile(L"Title", {}), std::nullopt);
    // No list at all rather than one without its closing double NUL.
    EXPECT_TRUE(FakeModal::dialogCalls().back().filterText.empty());

    FakeModal::scriptDialog({std::nullopt, CDERR_INITIALIZATION});
    EXPECT_EQ(failureText([] { selectFile(L"Title", {}); }), "GetOpenFileNameW failed, CommDlg Error Code 2");
}

TEST_F(LocateTest, ValidRegistryEntryNeedsNoBoxAndNoDialog) {
    TestSupport::writeFile(folder_.file(L"RA3.exe"));
    for (const std::wstring& installDir : {folder_.path(), folder_.path() + L"\\"}) {
        SCOPED_TRACE(TestSupport::narrow(installDir));
        installGame(installDir);
        EXPECT_EQ(getRA3Path(L"MyMod"), std::optional<std::wstring>(folder_.file(L"RA3.exe")));
        EXPECT_EQ(TestSupport::handleGrowth([] { getRA3Path(L"MyMod"); }), 0);
    }
    EXPECT_TRUE(FakeModal::boxes().empty());
    EXPECT_TRUE(FakeModal::dialogCalls().empty());

    // An empty install directory means RA3.exe in the current directory.
    installGame(L"");
    const TestSupport::CurrentDirectoryScope scope(folder_.path());
    EXPECT_EQ(getRA3Path(L"MyMod"), std::optional<std::wstring>(L"RA3.exe"));
}

TEST_F(LocateTest, UnusableRegistryEntryLeadsToTheNoticeAndTheDialog) {
    struct Row {
        const char* name;
        std::function<void()> prepare;
    };
    CreateDirectoryW(folder_.file(L"AsFolder").c_str(), nullptr);
    CreateDirectoryW(folder_.file(L"AsFolder\\RA3.exe").c_str(), nullptr);
    const Row rows[] = {
        {"missing key", [] {}},
        {"RA3.exe is a folder", [&] { installGame(folder_.file(L"AsFolder")); }},
        {"RA3.exe missing", [&] { installGame(folder_.path()); }},
        {"expandable value", [&] {
             const std::wstring value = folder_.path();
             TestSupport::setRegistryValue(HKEY_LOCAL_MACHINE, kGameKey, L"Install Dir", REG_EXPAND_SZ, value.c_str(),
                                           static_cast<DWORD>((value.size() + 1) * 2));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clearKeys();
        row.prepare();
        EXPECT_EQ(TestSupport::handleGrowth([] { getRA3Path(L"MyMod"); }), 0);
        FakeModal::reset();
        // A chosen path is returned unchanged, whatever its name.
        FakeModal::scriptDialog({L"E:\\Elsewhere\\Game.exe", 0});
        EXPECT_EQ(getRA3Path(L"模组 Mod"), std::optional<std::wstring>(L"E:\\Elsewhere\\Game.exe"));
        ASSERT_EQ(FakeModal::boxes().size(), 1u);
        EXPECT_EQ(FakeModal::boxes()[0].text, kNotice);
        EXPECT_EQ(FakeModal::boxes()[0].caption, L"模组 Mod");
        EXPECT_EQ(FakeModal::boxes()[0].style, static_cast<UINT>(MB_OK));
        EXPECT_EQ(FakeModal::boxes()[0].owner, nullptr);
        ASSERT_EQ(FakeModal::dialogCalls().size(), 1u);
        EXPECT_EQ(FakeModal::dialogCalls()[0].title, L"选择红警3路径");
        EXPECT_EQ(FakeModal::dialogCalls()[0].filterText, kFilterText);
        // Nothing is remembered: the next call asks again, and a cancel gives nothing.
        EXPECT_EQ(getRA3Path(L"模组 Mod"), std::nullopt);
        EXPECT_EQ(FakeModal::boxes().size(), 2u);
        EXPECT_EQ(FakeModal::dialogCalls().size(), 2u);
    }
}

TEST_F(LocateTest, BothWaysFailingGiveOneCombinedError) {
    installGame(folder_.path());  // names a missing RA3.exe
    FakeModal::scriptDialog({std::nullopt, FNERR_BUFFERTOOSMALL});
    EXPECT_EQ(failureText([] { getRA3Path(L"MyMod"); }),
              "Failed to retrieve RA3Path.\r\nRegistry Error: Invalid RA3 Path stored in registry"
              "\r\nSelectFile Error: GetOpenFileNameW failed, CommDlg Error Code 12291");

    clearKeys();
    FakeModal::scriptDialog({std::nullopt, CDERR_DIALOGFAILURE});
    const std::string text = failureText([] { getRA3Path(L"MyMod"); });
    EXPECT_EQ(text.rfind("Failed to retrieve RA3Path.\r\nRegistry Error: RegOpenKeyExW failed: ", 0), 0u) << text;
    const std::string tail = "\r\nSelectFile Error: GetOpenFileNameW failed, CommDlg Error Code 65535";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

}  // namespace
