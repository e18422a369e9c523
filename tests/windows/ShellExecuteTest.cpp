#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "support/FakeModal.h"
#include "support/TestSupport.h"
#include "windows/ShellExecute.h"

namespace {

std::wstring recorder() {
    return TestSupport::testProgramDirectory() + L"\\" + TestSupport::widen(QUORVANE_RECORD_LAUNCH_EXE);
}

class ShellExecuteTest : public testing::Test {
protected:
    void SetUp() override {
        FakeModal::reset();
        SetEnvironmentVariableW(L"QUORVANE_RECORD", record_.c_str());
    }
    void TearDown() override { SetEnvironmentVariableW(L"QUORVANE_RECORD", nullptr); }

    TestSupport::TempDirectory folder_;
    std::wstring record_ = folder_.file(L"record.json");
};

TEST_F(ShellExecuteTest, StartsTheProgramWithParametersAndDirectory) {
    Windows::shellExecute(nullptr, nullptr, recorder(), SW_SHOWNORMAL, L"-a \"b c\"  d", folder_.path().c_str());
    ASSERT_TRUE(TestSupport::waitForFile(record_, 20000));
    const std::string record = TestSupport::readFile(record_);
    EXPECT_NE(record.find("\"arguments\": [" ), std::string::npos) << record;
    EXPECT_NE(record.find(", \"-a\", \"b c\", \"d\"]"), std::string::npos) << record;
    EXPECT_NE(record.find("-a \\\"b c\\\"  d\""), std::string::npos) << record;
    EXPECT_NE(record.find("\"directory\": \"" + TestSupport::jsonPath(folder_.path()) + "\""), std::string::npos)
        << record;
    // No process or thread handle of the started program stays with us.
    EXPECT_EQ(TestSupport::handleGrowth([&] {
                  Windows::shellExecute(nullptr, nullptr, recorder(), SW_SHOWNORMAL, nullptr, folder_.path().c_str());
              }),
              0);
}

TEST_F(ShellExecuteTest, MissingProgramIsASystemErrorOfOurCategory) {
    try {
        Windows::shellExecute(nullptr, nullptr, folder_.file(L"missing.exe"), SW_SHOWNORMAL, nullptr, nullptr);
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_STREQ(error.code().category().name(), "MyWindowsErrorCategory");
        EXPECT_NE(error.code().value(), 0);
        EXPECT_EQ(std::string(error.what()).rfind("ShellExecuteExW failed: ", 0), 0u) << error.what();
    }
    EXPECT_EQ(TestSupport::handleGrowth([&] {
                  Windows::shellExecute(nullptr, nullptr, folder_.file(L"missing.exe"), SW_SHOWNORMAL, nullptr, nullptr);
              }),
              0);
}

TEST_F(ShellExecuteTest, DeclinedElevationCarriesErrorCancelled) {
    FakeModal::scriptShellFailure(ERROR_CANCELLED);
    try {
        Windows::shellExecute(nullptr, nullptr, recorder(), SW_SHOWNORMAL, nullptr, nullptr);
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ERROR_CANCELLED);
        EXPECT_STREQ(error.code().category().name(), "MyWindowsErrorCategory");
        EXPECT_EQ(std::string(error.what()).rfind("ShellExecuteExW failed: ", 0), 0u);
    }
}

}  // namespace
