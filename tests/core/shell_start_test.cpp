// Start-up without a display: only batch jobs run, and they never need a window.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/Application.h"
#include "link/DeviceLink.h"
#include "shell_support.h"

namespace {

class StartWithoutDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        startDir = std::filesystem::current_path();
    }
    void TearDown() override { std::filesystem::current_path(startDir); }
    std::filesystem::path startDir;
    TempDir dir;
};

TEST_F(StartWithoutDisplay, InteractiveStartFailsAtOnce) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(runWithoutDisplay(""), 1);
    EXPECT_EQ(runWithoutDisplay("/c"), 1);   // "/c" without its blank is no job
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("DISPLAY"), std::string::npos);
    EXPECT_FALSE(noDisplayText().empty());
}

TEST_F(StartWithoutDisplay, BatchJobRunsInTheCurrentDirectoryAndReturnsItsStatus) {
    dir.write("config.ini", "[BASIC Configurations]\nlanguage=test\nserial_port=3\n");
    dir.write("messages.test", "0>Title<END>\n2>Nothing matches<END>\n");
    std::filesystem::current_path(dir.path());

    testing::internal::CaptureStderr();
    const int status = runWithoutDisplay("/c " + dir.path() + "/missing*.NFO");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    // The loader read config.ini and the texts of the current directory: the
    // message carries the title it made.
    EXPECT_NE(said.find("Title v1.10: Nothing matches"), std::string::npos) << said;
}

TEST(DeviceLinkAtStart, PortNumbersFollowThePortDevicesSection) {
    Settings settings;
    // A pseudo-terminal stands in for the adapter com2 is mapped to.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    TempDir dir;
    dir.write("config.ini", "[BASIC Configurations]\nserial_port=2\n[Port Devices]\ncom2=" + slave + "\n");
    settings.profilePath = dir.file("config.ini");

    auto link = std::make_unique<DeviceLink>();
    usePortDevices(*link, settings);
    EXPECT_NE(link->Open(2), 0);
    EXPECT_TRUE(link->isOpen());
    link.reset();   // closes the port
    close(master);

    // An unmapped port whose device is missing stays closed; nothing blocks.
    dir.write("config.ini", "[Port Devices]\ncom3=" + dir.path() + "/no-such-tty\n");
    link = std::make_unique<DeviceLink>();
    usePortDevices(*link, settings);
    EXPECT_EQ(link->Open(3), 0);
    EXPECT_FALSE(link->isOpen());
}

}  // namespace
