#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "windows/Registry.h"
#include "windows/ScopedHandle.h"

namespace {

using Windows::ScopedHandle;

const wchar_t kMutexName[] = L"QuorvaneOwnersTestMutex";

bool mutexExists() {
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kMutexName);
    if (mutex == nullptr) {
        return false;
    }
    CloseHandle(mutex);
    return true;
}

TEST(OwnersTest, ScopedHandleClosesExactlyOnce) {
    {
        const ScopedHandle owner(CreateMutexW(nullptr, FALSE, kMutexName));
        ASSERT_NE(owner.get(), nullptr);
        EXPECT_TRUE(mutexExists());
    }
    EXPECT_FALSE(mutexExists());

    ScopedHandle target;
    {
        ScopedHandle source(CreateMutexW(nullptr, FALSE, kMutexName));
        {
            ScopedHandle constructed(std::move(source));
            EXPECT_EQ(source.get(), nullptr);
            target = std::move(constructed);
            EXPECT_EQ(constructed.get(), nullptr);
        }
        EXPECT_TRUE(mutexExists());
    }
    // The moved-from owners' ends left the mutex alive; the new owner holds it.
    EXPECT_TRUE(mutexExists());
    // Through a reference, so that the compiler does not refuse the self-move it sees.
    ScopedHandle& alias = target;
    target = std::move(alias);
    EXPECT_TRUE(mutexExists());
    target = ScopedHandle();
    EXPECT_FALSE(mutexExists());
}

TEST(OwnersTest, NullOwnersCallNothingAndKeepTheLastError) {
    SetLastError(0x1234);
    {
        ScopedHandle handle;
        Windows::RegistryKey key;
        ScopedHandle movedHandle(std::move(handle));
        Windows::RegistryKey movedKey(std::move(key));
    }
    EXPECT_EQ(GetLastError(), 0x1234u);
}

}  // namespace
