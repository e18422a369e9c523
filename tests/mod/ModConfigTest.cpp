#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <system_error>
#include <thread>

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

// Another thread keeps moving the current directory between a short and a long path. Every read is
// one of the two, whole, or the documented failure: never empty, never partial.
TEST(ModConfigTest, DirectoryChangingDuringTheReadIsNeverReturnedPartly) {
    const TempDirectory shortFolder;
    std::wstring longFolder = shortFolder.path();
    while (longFolder.size() < 200) {
        longFolder += L"\\subdirectory";
        CreateDirectoryW(longFolder.c_str(), nullptr);
    }
    const CurrentDirectoryScope restore(shortFolder.path());
    std::atomic<bool> stop{false};
    std::thread mover([&] {
        while (!stop) {
            SetCurrentDirectoryW(shortFolder.path().c_str());
            SetCurrentDirectoryW(longFolder.c_str());
        }
    });
    int failures = 0;
    for (int read = 0; read < 20000; ++read) {
        try {
            const std::wstring directory = getCurrentDirectory();
            if (directory != shortFolder.path() + L"\\" && directory != longFolder + L"\\") {
                stop = true;
                mover.join();
                FAIL() << "read " << read << " gave " << testing::PrintToString(directory);
            }
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code().value(), ERROR_INSUFFICIENT_BUFFER);
            EXPECT_EQ(std::string(error.what()).rfind("GetCurrentDirectoryW failed: ", 0), 0u);
            ++failures;
        }
    }
    stop = true;
    mover.join();
    EXPECT_LT(failures, 20000);
}

}  // namespace
