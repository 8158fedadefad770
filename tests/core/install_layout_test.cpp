// Where the program finds its files: the system's layout (a prefix with
// bin, share/fieldservice and etc/fieldservice) against installation
// directories, and what the administrator's config.ini may be found like.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

#include "app/InstallLayout.h"
#include "app/Installation.h"
#include "files/SafeLoad.h"
#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "support/Support.h"

namespace fs = std::filesystem;

namespace {

// The texts the notes are told in, with their places.
const char* const MESSAGES_ITA =
    "0>Servizio<END>\n82d0>manca %s, uso %s<END>\n82d2>guasto %s, uso %s<END>\n82d3>in %s: %s=%s<END>\n";

struct ConfigCase {
    const char* name;
    std::optional<std::string> adminConfig;   // nullopt: removed
    std::string userConfig;
    std::string language;                     // what the loader then reads
    std::string told;                         // the note, its places filled ("" none)
};

class SystemConfig : public ::testing::TestWithParam<ConfigCase> {
protected:
    void SetUp() override {
        for (const char* d : {"usr/bin", "usr/share/fieldservice", "usr/etc/fieldservice", "home/cfg/fieldservice", "elsewhere"})
            fs::create_directories(dir.file(d));
        dir.write("usr/bin/fieldservice", "");
        dir.write("usr/share/fieldservice/messages.eng", "0>Field Service<END>\n");
        dir.write("usr/share/fieldservice/messages.ita", MESSAGES_ITA);
        dir.write("usr/share/fieldservice/default-config.ini", "[BASIC Configurations]\nlanguage=eng\n");
        previousDir_ = fs::current_path();
        fs::current_path(dir.file("elsewhere"));
    }
    void TearDown() override { fs::current_path(previousDir_); }

    TempDir dir;
    std::map<std::string, std::string> vars{{"HOME", dir.file("home")}, {"XDG_CONFIG_HOME", dir.file("home/cfg")},
                                            {"XDG_DATA_HOME", dir.file("home")}};
    fs::path previousDir_;
};

TEST_P(SystemConfig, AdministratorsFileOrTheShippedOneUnderTheUsers) {
    const ConfigCase& c = GetParam();
    const std::string admin = dir.file("usr/etc/fieldservice/config.ini");
    if (c.adminConfig) dir.write("usr/etc/fieldservice/config.ini", *c.adminConfig);
    const std::string userFile = dir.file("home/cfg/fieldservice/config.ini");
    if (!c.userConfig.empty()) dir.write("home/cfg/fieldservice/config.ini", c.userConfig);

    RecordingOperator op;
    DeviceLink link;
    AppContext ctx{link, &op};
    std::ostringstream notes;
    const Environment env = [this](const char* name) { return vars.count(name) ? vars[name].c_str() : nullptr; };
    ASSERT_TRUE(InitInstallation(ctx.settings, dir.file("usr/bin/fieldservice"), env, notes));
    ASSERT_EQ(loadInstallationCore(ctx), LoadResult::Ok);

    const Settings& s = ctx.settings;
    EXPECT_TRUE(s.sharedInstallation);
    EXPECT_EQ(s.installDirectory, dir.file("usr/share/fieldservice"));
    EXPECT_EQ(s.userProfilePath, userFile);
    const std::string shipped = dir.file("usr/share/fieldservice/default-config.ini");
    EXPECT_EQ(s.profilePath, c.told.find("SHIPPED") != std::string::npos ? shipped : admin);
    EXPECT_EQ(s.language, c.language);
    std::string told = c.told;
    for (auto [from, to] : {std::pair{"ADMIN", admin}, {"SHIPPED", shipped}, {"USER", userFile}})
        if (size_t at = told.find(from); at != std::string::npos) told.replace(at, std::string(from).size(), to);
    EXPECT_EQ(op.texts(), told.empty() ? std::vector<std::string>{} : std::vector<std::string>{told});
    EXPECT_TRUE(s.installationNotes.empty());   // told once
    // Whoever runs it, nothing is written into the system's folders.
    EXPECT_EQ(backupFolders(s), std::vector<std::string>{dir.file("home/fieldservice/backups")});
    // The files themselves are left as they were.
    EXPECT_EQ(c.adminConfig ? dir.read("usr/etc/fieldservice/config.ini") : "", c.adminConfig.value_or(""));
    EXPECT_EQ(c.userConfig.empty() ? "" : dir.read("home/cfg/fieldservice/config.ini"), c.userConfig);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SystemConfig,
    ::testing::Values(
        ConfigCase{"AsShipped", "[BASIC Configurations]\nlanguage=ita\n", "", "ita", ""},
        ConfigCase{"RemovedUsersOwnStillOver", std::nullopt, "[BASIC Configurations]\nlanguage=ita\n", "ita",
                   "manca ADMIN, uso SHIPPED"},
        ConfigCase{"BrokenNoSection", std::string("language=ita\n\0\0garbage\n", 22),
                   "[basic configurations]\nlanguage=ita\n", "ita", "guasto ADMIN, uso SHIPPED"},
        ConfigCase{"UserSettingInTheOldFolder", "[BASIC Configurations]\nlanguage=ita\n",
                   "[BASIC Configurations]\nhistory_database = /opt/fieldservice/history.sqlite\n", "ita",
                   "in USER: history_database=/opt/fieldservice/history.sqlite"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InstallLayout, InstallationDirectoriesBeforeAndAfterTheSystemsLayout) {
    TempDir dir;
    for (const char* folder : {"usr/bin", "usr/share/fieldservice", "copy", "here", "bare"})
        fs::create_directories(dir.file(folder));
    for (const char* file : {"usr/bin/fieldservice", "copy/fieldservice", "copy/config.ini"}) dir.write(file, "");

    // (The system's layout itself: SystemConfig above.)
    // A stray config.ini where the installed program is started is no installation ...
    dir.write("here/config.ini", "");
    EXPECT_TRUE(findInstallLayout(dir.file("usr/bin/fieldservice"), dir.file("here")).system);
    // ... one with its texts beside it is, as the build's dist/ and the demo are.
    dir.write("here/messages.eng", "");
    InstallLayout here = findInstallLayout(dir.file("usr/bin/fieldservice"), dir.file("here"));
    EXPECT_FALSE(here.system);
    EXPECT_EQ(here.dataDirectory + "|" + here.configFile + "|" + here.shippedConfigFile,
              dir.file("here") + "|" + dir.file("here/config.ini") + "|");

    // A copy of its own, started from anywhere, is found in its own folder;
    // a program with no installation anywhere looks in the current directory.
    EXPECT_EQ(findInstallLayout(dir.file("copy/fieldservice"), dir.file("bare")).dataDirectory, dir.file("copy"));
    EXPECT_EQ(findInstallLayout("", dir.file("bare")).configFile, dir.file("bare/config.ini"));
}

}  // namespace
