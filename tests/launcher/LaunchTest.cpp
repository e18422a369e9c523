#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>
#include <system_error>
#include <thread>

#include "QuorvaneBuild.h"
#include "launcher/ComApartment.h"
#include "launcher/Entry.h"
#include "launcher/Launch.h"
#include "support/FakeModal.h"
#include "support/TestSupport.h"
#include "windows/WindowsError.h"

namespace {

const wchar_t kGameKey[] = L"Software\\Electronic Arts\\Electronic Arts\\Red Alert 3";
const wchar_t kSteamKey[] = L"Software\\Valve\\Steam";
const std::wstring kMod = L"红警 模组";
const std::string kSupportUrl = QUORVANE_SUPPORT_URL;

// One launch in a fresh mod folder, with the game's and Steam's registry entries pointing at copies
// of the recording stand-in. Boxes are recorded; the shell start is real unless scripted.
class LaunchTest : public testing::Test {
protected:
    void SetUp() override {
        FakeModal::reset();
        clearKeys();
        const std::wstring recorder =
            TestSupport::testProgramDirectory() + L"\\" + TestSupport::widen(QUORVANE_RECORD_LAUNCH_EXE);
        CopyFileW(recorder.c_str(), game_.file(L"RA3.exe").c_str(), FALSE);
        CopyFileW(recorder.c_str(), game_.file(L"steam.exe").c_str(), FALSE);
        TestSupport::writeFile(mod_.file(kMod + L".SkuDef"));
        SetEnvironmentVariableW(L"QUORVANE_RECORD", record_.c_str());
    }
    void TearDown() override {
        clearKeys();
        SetEnvironmentVariableW(L"QUORVANE_RECORD", nullptr);
    }
    static void clearKeys() {
        TestSupport::deleteRegistryTree(HKEY_LOCAL_MACHINE, kGameKey);
        TestSupport::deleteRegistryTree(HKEY_CURRENT_USER, kSteamKey);
    }
    void registerGame() { TestSupport::setRegistryString(HKEY_LOCAL_MACHINE, kGameKey, L"Install Dir", game_.path()); }
    void registerSteam() {
        TestSupport::setRegistryString(HKEY_CURRENT_USER, kSteamKey, L"SteamExe", game_.file(L"steam.exe"));
    }
    int launch(bool isSteamEdition, const ArgumentList& arguments = {L"launcher.exe"}) {
        const TestSupport::CurrentDirectoryScope scope(mod_.path());
        return launchMod(arguments, kMod, isSteamEdition);
    }
    std::string startedCommandLine() {
        if (!TestSupport::waitForFile(record_, 20000)) {
            return "(not started)";
        }
        const std::string record = TestSupport::readFile(record_);
        DeleteFileW(record_.c_str());
        return record;
    }
    std::wstring genericErrorStart() const {
        return kMod + L" Mod 启动器遇到了一个无法处理的错误，您可以在Tessavar发帖联系Miravel：\r\n" +
               TestSupport::widen(kSupportUrl) + L" \r\n以下是错误的详细信息：\r\n";
    }
    // The message of `category` for `code` as a box shows it; null: the launcher's own, English then Chinese.
    static std::wstring systemText(DWORD code, const std::error_category* category = nullptr) {
        const std::error_category& texts = category ? *category : Windows::getWindowsErrorCategory();
        return TestSupport::widen(texts.message(static_cast<int>(code)));
    }

    TestSupport::TempDirectory mod_;
    TestSupport::TempDirectory game_;
    TestSupport::TempDirectory records_;
    std::wstring record_ = records_.file(L"record.json");
};

TEST_F(LaunchTest, DirectAndSteamStartsReturnZeroWithoutBoxes) {
    registerGame();
    registerSteam();
    EXPECT_EQ(launch(false, {L"launcher.exe", L"-win", L"a b"}), 0);
    EXPECT_NE(startedCommandLine().find(".SkuDef\\\"  -win \\\"a b\\\"\""), std::string::npos);
    EXPECT_EQ(launch(true), 0);
    EXPECT_NE(startedCommandLine().find(" -applaunch 17480  -modConfig"), std::string::npos);
    EXPECT_TRUE(FakeModal::boxes().empty());
}

TEST_F(LaunchTest, MissingSkudefShowsOnlyItsBoxEvenWhileTheGameRuns) {
    registerGame();
    DeleteFileW(mod_.file(kMod + L".SkuDef").c_str());
    const HANDLE running = CreateMutexW(nullptr, TRUE, L"41DAF790-16F5-4881-8754-59FD8CF3B8D2");
    for (const bool isSteamEdition : {false, true}) {
        FakeModal::reset();
        EXPECT_EQ(launch(isSteamEdition), 1);
        ASSERT_EQ(FakeModal::boxes().size(), 1u);
        EXPECT_EQ(FakeModal::boxes()[0].text,
                  L"找不到 " + kMod + L" 的 SkuDef 配置文件。\r\n建议您重新安装 Mod、或者联系 Mod 作者。");
        EXPECT_EQ(FakeModal::boxes()[0].caption, kMod);
        EXPECT_EQ(FakeModal::boxes()[0].style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
        EXPECT_EQ(FakeModal::shellCalls(), 0);
    }
    CloseHandle(running);
}

TEST_F(LaunchTest, RunningGameIsNoticedAndTheLaunchGoesOn) {
    registerGame();
    const HANDLE running = CreateMutexA(nullptr, TRUE, "EA_RTS_LAUNCHER_GAME_MUTEX");
    EXPECT_EQ(launch(false), 0);
    CloseHandle(running);
    ASSERT_EQ(FakeModal::boxes().size(), 1u);
    EXPECT_EQ(FakeModal::boxes()[0].text, L"请先退出红警3，然后再使用这个工具启动 " + kMod);
    EXPECT_EQ(FakeModal::boxes()[0].caption, kMod);
    EXPECT_EQ(FakeModal::boxes()[0].style, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_NE(startedCommandLine(), "(not started)");
}

TEST_F(LaunchTest, DeclinedElevationEndsQuietlyOnlyForTheDirectStart) {
    registerGame();
    registerSteam();
    struct Row {
        const char* name;
        bool isSteamEdition;
        DWORD code;
        const std::error_category* thrownIn;  // null: the shell call fails with `code` as its last error
        int exitCode;
    };
    const Row rows[] = {
        {"declined, direct start", false, ERROR_CANCELLED, nullptr, 0},
        {"declined, Steam", true, ERROR_CANCELLED, nullptr, 1},
        {"another failure of the direct start", false, ERROR_ACCESS_DENIED, nullptr, 1},
        // The code alone does not make a declined prompt: it must come from the launcher's own category.
        {"1223 of another category", false, ERROR_CANCELLED, &std::system_category(), 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeModal::reset();
        FakeModal::scriptShellFailure(row.code, row.thrownIn);
        EXPECT_EQ(launch(row.isSteamEdition), row.exitCode);
        if (row.exitCode == 0) {
            EXPECT_TRUE(FakeModal::boxes().empty());
            continue;
        }
        ASSERT_EQ(FakeModal::boxes().size(), 1u);
        EXPECT_EQ(FakeModal::boxes()[0].text,
                  genericErrorStart() + L"ShellExecuteExW failed: " + systemText(row.code, row.thrownIn));
        EXPECT_EQ(FakeModal::boxes()[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    }
}

TEST_F(LaunchTest, FailuresEndInTheGenericBoxWithTheirDetail) {
    // No Steam key.
    EXPECT_EQ(launch(true), 1);
    ASSERT_EQ(FakeModal::boxes().size(), 1u);
    EXPECT_EQ(FakeModal::boxes()[0].text,
              genericErrorStart() + L"Failed to retrieve steam.exe path: RegOpenKeyExW failed: " +
                  systemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FakeModal::boxes()[0].caption, kMod);

    // No game in the registry, and the dialog fails too: one combined detail.
    FakeModal::reset();
    FakeModal::scriptDialog({std::nullopt, 12291});
    EXPECT_EQ(launch(false), 1);
    ASSERT_EQ(FakeModal::boxes().size(), 2u);  // the notice, then the error
    EXPECT_EQ(FakeModal::boxes()[1].text,
              genericErrorStart() + L"Failed to retrieve RA3Path.\r\nRegistry Error: RegOpenKeyExW failed: " +
                  systemText(ERROR_FILE_NOT_FOUND) +
                  L"\r\nSelectFile Error: GetOpenFileNameW failed, CommDlg Error Code 12291");
    EXPECT_EQ(FakeModal::shellCalls(), 0);
}

TEST_F(LaunchTest, CancelledChoiceOfTheGameReturnsOneWithNoBoxOfItsOwn) {
    EXPECT_EQ(launch(false), 1);
    ASSERT_EQ(FakeModal::boxes().size(), 1u);
    EXPECT_EQ(FakeModal::boxes()[0].text, L"没能在你的电脑上找到红警3，请手动设置红警3的路径");
    EXPECT_EQ(FakeModal::shellCalls(), 0);
}

TEST_F(LaunchTest, GameChosenInTheDialogIsStartedFromItsFolder) {
    FakeModal::scriptDialog({game_.file(L"RA3.exe"), 0});
    EXPECT_EQ(launch(false), 0);
    EXPECT_NE(startedCommandLine().find("\"directory\": \"" + TestSupport::jsonPath(game_.path()) + "\""),
              std::string::npos);
}

TEST_F(LaunchTest, GameStartsInItsFolderOrItsDriveRoot) {
    struct Row {
        const wchar_t* gamePath;
        const wchar_t* directory;  // null: no working folder is given
    };
    const Row rows[] = {
        {L"C:\\Games\\RA3\\RA3.exe", L"C:\\Games\\RA3"},
        {L"C:/Games/RA3/RA3.exe", L"C:/Games/RA3"},
        {L"\\\\server\\share\\RA3.exe", L"\\\\server\\share"},
        // "M:" alone would be the current folder on drive M.
        {L"M:\\RA3.exe", L"M:\\"},
        {L"m:/RA3.exe", L"m:/"},
        // Found in the current folder (of drive M), which the start then keeps: a file is no folder.
        {L"RA3.exe", nullptr},
        {L"M:RA3.exe", L"M:"},
        {L"\\RA3.exe", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(TestSupport::narrow(row.gamePath));
        FakeModal::reset();
        FakeModal::scriptDialog({row.gamePath, 0});
        FakeModal::scriptShellFailure(ERROR_CANCELLED);  // nothing is started
        EXPECT_EQ(launch(false), 0);
        EXPECT_EQ(FakeModal::shellDirectory(),
                  row.directory ? std::optional<std::wstring>(row.directory) : std::nullopt);
        // No flags: the shell shows its own box when the start fails, and hands back no process handle.
        EXPECT_EQ(FakeModal::shellMask(), 0u);
    }
}

TEST_F(LaunchTest, NoHandleOrKeyLeaksOnAnyPath) {
    const auto quietly = [this](bool isSteamEdition) {
        return [this, isSteamEdition] {
            FakeModal::reset();
            launch(isSteamEdition);
        };
    };
    // Failure paths: no Steam key, no game (dialog cancelled), no SkuDef.
    EXPECT_EQ(TestSupport::handleGrowth(quietly(true)), 0);
    EXPECT_EQ(TestSupport::handleGrowth(quietly(false)), 0);
    registerGame();
    registerSteam();
    FakeModal::scriptShellFailure(ERROR_CANCELLED);
    EXPECT_EQ(TestSupport::handleGrowth([this] {
                  FakeModal::scriptShellFailure(ERROR_CANCELLED);
                  launch(false);
              }),
              0);
    // Started for real.
    EXPECT_EQ(TestSupport::handleGrowth(quietly(false)), 0);
    EXPECT_EQ(TestSupport::handleGrowth(quietly(true)), 0);
    DeleteFileW(mod_.file(kMod + L".SkuDef").c_str());
    EXPECT_EQ(TestSupport::handleGrowth(quietly(false)), 0);
}

// The whole run from a command line, on a thread of its own as the process's main thread would be. The
// entry leaves this process loading DLLs from the system folder only, where all that the tests load lie.
TEST_F(LaunchTest, EntryRunsTheLaunchOrEndsInTheLastResortBox) {
    registerGame();
    const auto runOnThread = [this](const std::wstring& commandLine) {
        int exitCode = -1;
        std::thread([&] {
            const TestSupport::CurrentDirectoryScope scope(mod_.path());
            exitCode = runLauncher(commandLine.c_str());
        }).join();
        return exitCode;
    };

    EXPECT_EQ(runOnThread(L"\"C:\\Mods\\启动" + kMod + L".exe\" -win"), 0);
    EXPECT_NE(startedCommandLine().find(".SkuDef\\\"  -win\""), std::string::npos);
    EXPECT_TRUE(FakeModal::boxes().empty());

    // A failure the launch explains gets its own box, shown inside the apartment, and nothing more.
    DeleteFileW(mod_.file(kMod + L".SkuDef").c_str());
    EXPECT_EQ(runOnThread(L"启动" + kMod), 1);
    ASSERT_EQ(FakeModal::boxes().size(), 1u);
    EXPECT_EQ(FakeModal::boxes()[0].style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_TRUE(FakeModal::boxes()[0].comInitialized);

    // No element 0 to take the identity from: the last-resort box, after COM was released.
    FakeModal::reset();
    EXPECT_EQ(runOnThread(L""), 1);
    ASSERT_EQ(FakeModal::boxes().size(), 1u);
    EXPECT_EQ(FakeModal::boxes()[0].text,
              L"Mod 启动器遇到了一个无法处理的错误，您可以在Tessavar发帖联系Miravel：\r\n" + TestSupport::widen(kSupportUrl));
    EXPECT_EQ(FakeModal::boxes()[0].caption, L"Mod 启动器");
    EXPECT_EQ(FakeModal::boxes()[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(FakeModal::boxes()[0].owner, nullptr);
    EXPECT_FALSE(FakeModal::boxes()[0].comInitialized);
}

// CoInitializeEx from a thread that already is in the multithreaded apartment fails; the launcher's
// apartment must then not call CoUninitialize, which would tear down the apartment it did not make.
TEST(ComApartmentTest, BalancesOnlyASuccessfulInitialization) {
    HRESULT stillInitialized = E_FAIL;
    HRESULT fullyReleased = E_FAIL;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        { const ComApartment apartment; }
        stillInitialized = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: ours is still there
        CoUninitialize();
        CoUninitialize();
        // A second, successful (S_FALSE) initialisation is balanced: once the outer one ends too,
        // nothing is left, and the thread may pick another apartment.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        { const ComApartment apartment; }
        CoUninitialize();
        fullyReleased = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
    }).join();
    EXPECT_EQ(stillInitialized, S_FALSE);
    EXPECT_EQ(fullyReleased, S_OK);
}

}  // namespace
