#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "mod/ModConfig.h"
#include "support/TestSupport.h"

namespace {

using TestSupport::CurrentDirectoryScope;
using TestSupport::TempDirectory;

std::wstring argumentFor(const std::wstring& skudefPath) {
    return L" -modConfig \"" + skudefPath + L"\" ";
}

TEST(ModConfigTest, CurrentDirectoryEndsInOneBackslash) {
    const TempDirectory folder;
    {
        const CurrentDirectoryScope scope(folder.path());
        EXPECT_EQ(getCurrentDirectory(), folder.path() + L"\\");
    }
    {
        const CurrentDirectoryScope scope(L"C:\\");
        EXPECT_EQ(getCurrentDirectory(), L"C:\\");
    }
}

TEST(ModConfigTest, AppendPathInsertsOneSeparator) {
    struct Row {
        std::wstring directory;
        std::wstring expected;
    };
    const Row rows[] = {
        {L"", L"RA3.exe"},
        {L"C:\\Game", L"C:\\Game\\RA3.exe"},
        {L"C:\\Game\\", L"C:\\Game\\RA3.exe"},
        {L"C:", L"C:RA3.exe"},  // the system counts a drive colon as a separator
    };
    for (Row row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.directory));
        EXPECT_EQ(appendPath(row.directory, L"RA3.exe"), row.expected);
        EXPECT_EQ(row.directory, row.expected);
    }
}

TEST(ModConfigTest, PathExistsOnlyForFiles) {
    const TempDirectory folder;
    TestSupport::writeFile(folder.file(L"plain"));
    TestSupport::writeFile(folder.file(L"hidden"));
    SetFileAttributesW(folder.file(L"hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    TestSupport::writeFile(folder.file(L"readonly"));
    SetFileAttributesW(folder.file(L"readonly").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(pathExists(folder.file(L"plain")));
    EXPECT_TRUE(pathExists(folder.file(L"hidden")));
    EXPECT_TRUE(pathExists(folder.file(L"readonly")));
    EXPECT_FALSE(pathExists(folder.path()));
    EXPECT_FALSE(pathExists(folder.file(L"missing")));
    EXPECT_FALSE(pathExists(L""));
    EXPECT_FALSE(pathExists(L"bad<name>?"));
}

TEST(ModConfigTest, SkudefArgumentFoundMissingOrADirectory) {
    const TempDirectory folder;
    const std::wstring directory = folder.path() + L"\\";
    const std::wstring cjkMod = L"红警 3 模组 Mod";

    TestSupport::writeFile(directory + L"MyMod.SkuDef");
    EXPECT_EQ(createModSkudefArguments(directory, L"MyMod"), argumentFor(directory + L"MyMod.SkuDef"));
    // The directory is joined as given, with a backslash where it lacks one.
    EXPECT_EQ(createModSkudefArguments(folder.path(), L"MyMod"), argumentFor(directory + L"MyMod.SkuDef"));

    TestSupport::writeFile(directory + cjkMod + L".SkuDef");
    EXPECT_EQ(createModSkudefArguments(directory, cjkMod), argumentFor(directory + cjkMod + L".SkuDef"));

    // An empty mod name looks for ".SkuDef" itself.
    EXPECT_THROW(createModSkudefArguments(directory, L""), SkudefNotFoundError);
    TestSupport::writeFile(directory + L".SkuDef");
    EXPECT_EQ(createModSkudefArguments(directory, L""), argumentFor(directory + L".SkuDef"));

    CreateDirectoryW((directory + L"Folder.SkuDef").c_str(), nullptr);
    for (const std::wstring modName : {L"Folder", L"Missing", L"缺失 模组"}) {
        SCOPED_TRACE(testing::PrintToString(modName));
        try {
            createModSkudefArguments(directory, modName);
            FAIL() << "no exception";
        } catch (const SkudefNotFoundError& error) {
            EXPECT_EQ(std::string(error.what()), TestSupport::narrow(directory + modName + L".SkuDef"));
        }
    }
}

TEST(ModConfigTest, DeepCurrentDirectoryBeyondMaxPath) {
    const TempDirectory folder;
    std::wstring deep = folder.path();
    while (deep.size() <= 300) {
        deep += L"\\长目录名称 long directory name";
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
    }
    TestSupport::writeFile(L"\\\\?\\" + deep + L"\\Deep.SkuDef");
    if (!SetCurrentDirectoryW(deep.c_str())) {
        GTEST_SKIP() << "this system does not allow a current directory of " << deep.size() << " characters";
    }
    const CurrentDirectoryScope restore(deep);
    SetCurrentDirectoryW(deep.c_str());
    const std::wstring directory = getCurrentDirectory();
    EXPECT_EQ(directory, deep + L"\\");
    EXPECT_EQ(createModSkudefArguments(directory, L"Deep"), argumentFor(deep + L"\\Deep.SkuDef"));
}

// Right after a read's size query, the current directory moves one folder deeper, as another thread
// of the process may move it, `movesLeft` times.
int movesLeft = 0;
std::wstring movedTo;
const TestSupport::ImportHook* directoryHook = nullptr;

DWORD WINAPI getCurrentDirectoryThenMove(DWORD length, wchar_t* buffer) {
    const DWORD result = directoryHook->original<decltype(&GetCurrentDirectoryW)>()(length, buffer);
    if (length == 0 && movesLeft > 0) {
        --movesLeft;
        movedTo += L"\\d";
        CreateDirectoryW(movedTo.c_str(), nullptr);
        SetCurrentDirectoryW(movedTo.c_str());
    }
    return result;
}

// A directory that grew between the size query and the read is read again, whole; one that keeps
// growing ends in the documented failure, not in a loop. Never a partial or padded path.
TEST(ModConfigTest, DirectoryGrowingDuringTheReadIsReadAgain) {
    const TempDirectory folder;
    const CurrentDirectoryScope restore(folder.path());
    for (const int moves : {1, 20}) {
        SCOPED_TRACE(moves);
        SetCurrentDirectoryW(folder.path().c_str());
        movedTo = folder.path();
        movesLeft = moves;
        const TestSupport::ImportHook hook("kernel32.dll", "GetCurrentDirectoryW",
                                           reinterpret_cast<void*>(&getCurrentDirectoryThenMove));
        directoryHook = &hook;
        if (moves == 1) {
            const std::wstring directory = getCurrentDirectory();
            EXPECT_EQ(directory, movedTo + L"\\");
            EXPECT_EQ(movesLeft, 0);
            continue;
        }
        try {
            getCurrentDirectory();
            ADD_FAILURE() << "no exception";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code().value(), ERROR_INSUFFICIENT_BUFFER);
            EXPECT_EQ(std::string(error.what()).rfind("GetCurrentDirectoryW failed: ", 0), 0u);
        }
        EXPECT_GT(movesLeft, 0);  // it gave up first
    }
}

}  // namespace
