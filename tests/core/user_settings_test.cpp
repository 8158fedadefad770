// The operator's own settings over an installation that is not theirs to
// write: what the program reads, where the Options dialog's OK writes, and
// the user's folders as the environment names them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "app/Installation.h"
#include "app/OptionsModel.h"
#include "link/DeviceLink.h"
#include "platform/PortDevices.h"
#include "session/AppContext.h"
#include "support/Support.h"

namespace fs = std::filesystem;

namespace {

// An installation in a directory of its own, its config.ini not the user's
// (as for a package under /opt), and the user's folders under home/.
class UserSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = fs::current_path();
        fs::create_directories(dir.file("install"));
        fs::create_directories(dir.file("home/cfg"));
        dir.write("install/messages.eng", "0>Field Service<END>");
        fs::current_path(dir.file("install"));
        ASSERT_TRUE(InitInstallDirectory(ctx.settings, env(), notes));
        // Whatever the test runner may write: the installation is taken as
        // one the user may not (root writes everywhere).
        ctx.settings.userProfilePath = ctx.settings.user.config + "/config.ini";
    }
    void TearDown() override { fs::current_path(previousDir_); }

    Environment env() {
        return [this](const char* name) -> const char* {
            auto it = vars.find(name);
            return it == vars.end() ? nullptr : it->second.c_str();
        };
    }
    std::string installed() const { return dir.file("install/config.ini"); }
    std::string user() const { return dir.file("home/cfg/fieldservice/config.ini"); }
    void apply(unsigned port, std::function<void(const std::string&)> failed = {}) {
        OptionsChoice choice{0, int(port) - 1, false, {}, true, true, true, true, {}};
        applyOptions(ctx.settings, {"eng"}, choice, [&] { return loadInstallationCore(ctx) == LoadResult::Ok; },
                     std::move(failed));
    }

    TempDir dir;
    std::map<std::string, std::string> vars{{"HOME", dir.file("home")}, {"XDG_CONFIG_HOME", dir.file("home/cfg")}};
    std::ostringstream notes;
    RecordingOperator op;
    DeviceLink link;
    AppContext ctx{link, &op};
    fs::path previousDir_;
};

const char* const kInstalled = "[BASIC Configurations]\nlanguage=eng\nserial_port=3\nverify_after_load=1\n";

}  // namespace

// What the program reads: the user's key where it has one, the installed
// file's everywhere else.
TEST_F(UserSettingsTest, UserFileLiesOverTheInstalledOneKeyByKey) {
    struct Case {
        const char* what;
        const char* user;       // nullptr: no user file
        const char* upgrade;    // what an upgrade adds to the installed file
        unsigned port;
        bool verify;
        const char* com2;
    };
    const Case cases[] = {
        {"installed only", nullptr, "", 3, true, "/dev/ttyS1"},
        {"user overrides", "[BASIC Configurations]\nserial_port=7\n", "", 7, true, "/dev/ttyS1"},
        {"user has a key the installed file lacks", "[Port Devices]\ncom2=/dev/ttyUSB9\n", "", 3, true,
         "/dev/ttyUSB9"},
        {"garbage lines", "\x01\x02 junk\n=\n[unclosed\n[BASIC Configurations]\nno equals sign\nserial_port=5\n", "",
         5, true, "/dev/ttyS1"},
        {"upgrade changes a default", "[BASIC Configurations]\nserial_port=2\n",
         "[BASIC Configurations]\nverify_after_load=0\n", 2, false, "/dev/ttyS1"},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir.file("home/cfg/fieldservice"));
        dir.write("install/config.ini", std::string(c.upgrade) + kInstalled);
        if (c.user) {
            fs::create_directories(dir.file("home/cfg/fieldservice"));
            dir.write("home/cfg/fieldservice/config.ini", c.user);
        }
        ASSERT_EQ(loadInstallationCore(ctx), LoadResult::Ok) << c.what;
        EXPECT_EQ(ctx.settings.language, "eng") << c.what;
        EXPECT_EQ(ctx.settings.serialPort, c.port) << c.what;
        EXPECT_EQ(ctx.settings.verifyAfterLoad, c.verify) << c.what;
        EXPECT_EQ(portDevicePath(ctx.settings.profile(), 2), c.com2) << c.what;
    }
}

// OK writes only what differs from the installed file, into the user's
// file; a value set back to the installed one leaves it; a user folder that
// cannot be made is told with the file's name, and the settings read back
// are the ones kept.
TEST_F(UserSettingsTest, OptionsWriteOnlyChangedKeysToTheUserFile) {
    dir.write("install/config.ini", std::string(kInstalled) + "connect_on_startup=0\nbackup_before_load=1\nconfirm_save_reads=1\n");
    const std::string before = dir.read("install/config.ini");
    ASSERT_EQ(loadInstallationCore(ctx), LoadResult::Ok);

    apply(5);
    EXPECT_EQ(ctx.settings.serialPort, 5);
    EXPECT_EQ(dir.read("install/config.ini"), before);
    EXPECT_EQ(dir.read("home/cfg/fieldservice/config.ini"), "[BASIC Configurations]\nserial_port=5\n");

    apply(3);
    EXPECT_EQ(dir.read("home/cfg/fieldservice/config.ini"), "[BASIC Configurations]\n");

    fs::remove_all(dir.file("home/cfg/fieldservice"));
    dir.write("home/cfg/fieldservice", "a plain file where the folder should be");
    std::vector<std::string> failed;
    apply(6, [&](const std::string& file) { failed.push_back(file); });
    EXPECT_EQ(failed, std::vector<std::string>{user()});
    EXPECT_EQ(ctx.settings.serialPort, 3);
    EXPECT_EQ(dir.read("install/config.ini"), before);
}

// A variable that cannot serve gives way to its default, with one line each
// on standard error; the documents folder comes from user-dirs.dirs.
TEST_F(UserSettingsTest, UnusableXdgVariablesFallBackToTheirDefaults) {
    fs::create_directories(dir.file("home/state"));
    fs::create_directories(dir.file("home/Work/Papers"));
    dir.write("home/cfg/user-dirs.dirs", "# written by the desktop\nXDG_DOCUMENTS_DIR=\"$HOME/Work/Papers\"\n");
    dir.write("home/cachefile", "");
    vars["XDG_DATA_HOME"] = "relative/share";
    vars["XDG_STATE_HOME"] = dir.file("home/state");
    vars["XDG_CACHE_HOME"] = dir.file("home/cachefile");
    vars["XDG_RUNTIME_DIR"] = dir.file("home/missing");
    notes.str("");
    const UserDirs dirs = findUserDirs(env(), notes);
    const std::string home = dir.file("home");
    EXPECT_EQ(dirs.config, home + "/cfg/fieldservice");
    EXPECT_EQ(dirs.data, home + "/.local/share/fieldservice");
    EXPECT_EQ(dirs.state, home + "/state/fieldservice");
    EXPECT_EQ(dirs.cache, home + "/.cache/fieldservice");
    EXPECT_EQ(dirs.runtime, "");
    EXPECT_EQ(dirs.documents, home + "/Work/Papers");
    const std::string said = notes.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 3) << said;
    for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        EXPECT_NE(said.find(name), std::string::npos) << name;
}
