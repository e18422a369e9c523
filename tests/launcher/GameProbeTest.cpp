#include <gtest/gtest.h>

#include <string>

#include "launcher/GameProbe.h"
#include "support/TestSupport.h"
#include "windows/ScopedHandle.h"

namespace {

const wchar_t kLauncherMutex[] = L"EA_RTS_LAUNCHER_GAME_MUTEX";
const wchar_t kGameMutex[] = L"41DAF790-16F5-4881-8754-59FD8CF3B8D2";

bool mutexExists(const wchar_t* name) {
    const Windows::ScopedHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, name));
    return mutex.get() != nullptr;
}

TEST(GameProbeTest, NeitherMutexMeansNotRunningAndLeavesNoneBehind) {
    EXPECT_FALSE(isGameRunning());
    EXPECT_FALSE(mutexExists(kLauncherMutex));
    EXPECT_FALSE(mutexExists(kGameMutex));
    EXPECT_EQ(TestSupport::handleGrowth([] { isGameRunning(); }), 0);
}

TEST(GameProbeTest, EitherMutexHeldByThisProcessMeansRunning) {
    for (const wchar_t* name : {kLauncherMutex, kGameMutex}) {
        SCOPED_TRACE(TestSupport::narrow(name));
        const Windows::ScopedHandle held(CreateMutexW(nullptr, TRUE, name));
        EXPECT_TRUE(isGameRunning());
        EXPECT_EQ(TestSupport::handleGrowth([] { isGameRunning(); }), 0);
    }
    EXPECT_FALSE(isGameRunning());
}

// Locked: a game run as administrator, whose mutex a standard user may not open.
TEST(GameProbeTest, EitherMutexHeldByAnotherProcessMeansRunning) {
    struct Row {
        char kind;
        const wchar_t* name;
        bool locked;
    };
    for (const Row& row : {Row{'A', kLauncherMutex, false}, Row{'W', kGameMutex, false}, Row{'A', kLauncherMutex, true},
                           Row{'W', kGameMutex, true}}) {
        SCOPED_TRACE(TestSupport::narrow(row.name) + (row.locked ? " locked" : ""));
        const TestSupport::MutexHolder game(row.kind, row.name, row.locked);
        if (row.locked) {
            const Windows::ScopedHandle opened(CreateMutexW(nullptr, FALSE, row.name));
            const DWORD lastError = GetLastError();
            ASSERT_EQ(lastError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
        EXPECT_TRUE(isGameRunning());
        EXPECT_EQ(TestSupport::handleGrowth([] { isGameRunning(); }), 0);
    }
    EXPECT_FALSE(isGameRunning());
}

TEST(GameProbeTest, FirstNameTakenByAnotherKindOfObjectCountsAsAbsent) {
    // A name held by an event cannot be opened as a mutex (ERROR_INVALID_HANDLE): the second name decides.
    const Windows::ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, kLauncherMutex));
    ASSERT_NE(event.get(), nullptr);
    EXPECT_FALSE(isGameRunning());
    const Windows::ScopedHandle held(CreateMutexW(nullptr, TRUE, kGameMutex));
    EXPECT_TRUE(isGameRunning());
}

}  // namespace
