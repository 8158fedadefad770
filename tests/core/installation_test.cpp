// The installation loader: config.ini, the three language tables, the title
// and the help path, and its two failures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "app/Installation.h"
#include "support/Support.h"
#include "texts/TextTable.h"

namespace {

const char* const NO_CONFIGURATION =
    "Sorry, no configuration file available!\r\nPlease, check your installation.";
const char* const NO_LANGUAGES = "Sorry, no languages available!\r\nPlease, check your installation.";

// Runs each test inside a fresh installation directory, with a recording
// operator, and puts the process back as it was afterwards.
class InstallationTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        ASSERT_TRUE(InitInstallDirectory(ctx.settings));
    }
    void TearDown() override {
        std::filesystem::current_path(previousDir_);
    }
    void writeConfig(const std::string& body) { dir.write("config.ini", "[BASIC Configurations]\n" + body); }

    TempDir dir;
    RecordingOperator op;
    DeviceLink link;
    AppContext ctx{link, &op};
    std::filesystem::path previousDir_;
};

}  // namespace

TEST_F(InstallationTest, MissingConfigurationChangesNothing) {
    ctx.settings.language = "ita";
    ctx.settings.windowTitle = "Old v1.10";
    dir.write("messages.ita", "0>Vecchio<END>");
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::NoConfiguration);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].caption, "Loader Error");
    EXPECT_EQ(op.messages[0].text, NO_CONFIGURATION);
    EXPECT_EQ(op.messages[0].icon, MessageIcon::Stop);
    EXPECT_EQ(ctx.settings.language, "ita");
    EXPECT_EQ(ctx.settings.windowTitle, "Old v1.10");
    EXPECT_FALSE(ctx.settings.installationLoaded);
    EXPECT_FALSE(ctx.texts.messages.loaded());

    // A directory named config.ini is no configuration either.
    std::filesystem::create_directory(dir.file("config.ini"));
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::NoConfiguration);
}

TEST_F(InstallationTest, EmptyConfigurationMeansEmptyLanguagePortOneNoConnect) {
    dir.write("config.ini", "");
    ctx.settings.serialPort = 9;
    ctx.settings.connectOnStartup = true;
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::NoLanguages);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].caption, "Loader Error");
    EXPECT_EQ(op.messages[0].text, NO_LANGUAGES);
    EXPECT_EQ(op.messages[0].icon, MessageIcon::Stop);
    EXPECT_EQ(ctx.settings.language, "");
    EXPECT_EQ(ctx.settings.serialPort, 1);
    EXPECT_FALSE(ctx.settings.connectOnStartup);
    EXPECT_TRUE(ctx.settings.backupBeforeLoad);          // the safe load unless switched off
    EXPECT_TRUE(ctx.settings.verifyAfterLoad);
    EXPECT_FALSE(ctx.settings.installationLoaded);

    // With an empty code the messages file is "messages." with nothing after the point.
    dir.write("messages.", "0000>Bare<END>");
    op.clear();
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::Ok);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(ctx.settings.windowTitle, "Bare v1.10");
    EXPECT_EQ(ctx.settings.helpFilePath, ctx.settings.installDirectory + "/help_.hlp");
}

TEST_F(InstallationTest, SettingsTablesTitleAndHelpPath) {
    writeConfig("language=eng\nserial_port=258\nconnect_on_startup=5\nbackup_before_load=0\nverify_after_load=0\n");
    dir.write("messages.eng", "0000>Field Service<END>\n0003>Device failed<END>\n");
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::Ok);
    // Missing parameter and error files are not reported.
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(ctx.settings.language, "eng");
    EXPECT_EQ(ctx.settings.serialPort, 2);               // only the low 8 bits of 258
    EXPECT_TRUE(ctx.settings.connectOnStartup);          // any non-zero value
    EXPECT_FALSE(ctx.settings.backupBeforeLoad);
    EXPECT_FALSE(ctx.settings.verifyAfterLoad);
    EXPECT_TRUE(ctx.settings.installationLoaded);
    EXPECT_EQ(ctx.settings.windowTitle, "Field Service v1.10");
    EXPECT_EQ(ctx.settings.installDirectory, std::filesystem::current_path().string());
    EXPECT_EQ(ctx.settings.profilePath, ctx.settings.installDirectory + "/config.ini");
    EXPECT_EQ(ctx.settings.helpFilePath, ctx.settings.installDirectory + "/help_eng.hlp");
    EXPECT_EQ(ctx.texts.messages.Lookup(3), "Device failed");
    EXPECT_FALSE(ctx.texts.errors.loaded());
    EXPECT_FALSE(ctx.texts.parameters.loaded());
    EXPECT_EQ(ctx.texts.errors.Lookup(0), "");

    // All three tables when present, each from its own file.
    dir.write("errors.eng", "01a2>Sensor broken<END>");
    dir.write("parameters.eng", "0100>Set point<END>");
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::Ok);
    EXPECT_EQ(ctx.texts.errors.Lookup(0x1a2), "Sensor broken");
    EXPECT_EQ(ctx.texts.parameters.Lookup(0x100), "Set point");
    EXPECT_EQ(ctx.texts.messages.Lookup(0x100), "");
}

TEST_F(InstallationTest, EmptyTitleTextGivesBlankAndVersion) {
    writeConfig("language=eng\n");
    dir.write("messages.eng", "0000><END>\n");
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::Ok);
    EXPECT_EQ(ctx.settings.windowTitle, " v1.10");
}

TEST_F(InstallationTest, ReloadWithALostLanguageEmptiesTheTablesButKeepsTheTitle) {
    writeConfig("language=eng\n");
    dir.write("messages.eng", "0000>Field Service<END>\n");
    dir.write("errors.eng", "0000>No fault<END>\n");
    ASSERT_EQ(loadInstallationCore(ctx), LoadResult::Ok);

    writeConfig("language=ita\nserial_port=3\n");
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::NoLanguages);
    EXPECT_EQ(op.texts(), std::vector<std::string>{NO_LANGUAGES});
    EXPECT_EQ(ctx.settings.language, "ita");
    EXPECT_EQ(ctx.settings.serialPort, 3);
    EXPECT_TRUE(ctx.settings.installationLoaded);         // set by the first run, never cleared
    EXPECT_EQ(ctx.settings.windowTitle, "Field Service v1.10");
    EXPECT_FALSE(ctx.texts.messages.loaded());
    EXPECT_FALSE(ctx.texts.errors.loaded());
    EXPECT_EQ(ctx.texts.messages.Lookup(0), "");
}

TEST_F(InstallationTest, LanguageFilesAreOpenedInTheInstallationDirectory) {
    writeConfig("language=eng\n");
    dir.write("messages.eng", "0>Installed<END>");
    std::filesystem::create_directory(dir.file("elsewhere"));
    dir.write("elsewhere/messages.eng", "0>Elsewhere<END>");
    std::filesystem::current_path(dir.file("elsewhere"));
    // The installed program runs wherever it was started: config.ini and the
    // texts are both found through the installation directory.
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::Ok);
    EXPECT_EQ(ctx.settings.windowTitle, "Installed v1.10");
}

TEST_F(InstallationTest, LanguageFileNamesDifferingInCaseAreFound) {
    // The options dialog lists "messages.ITA" as "ita" and writes "ita" back.
    writeConfig("language=ita\n");
    dir.write("messages.ITA", "0>Servizio<END>");
    dir.write("Errors.Ita", "0>Nessun guasto<END>");
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::Ok);
    EXPECT_EQ(ctx.settings.windowTitle, "Servizio v1.10");
    EXPECT_EQ(ctx.texts.errors.Lookup(0), "Nessun guasto");

    // The exact name wins over one that differs in case.
    dir.write("messages.ita", "0>Esatto<END>");
    EXPECT_EQ(loadInstallationCore(ctx), LoadResult::Ok);
    EXPECT_EQ(ctx.settings.windowTitle, "Esatto v1.10");
}

TEST(CommandLine, ArgumentsJoinedAndBatchOptionsFound) {
    char prog[] = "fieldservice", c[] = "/c", path[] = "/tmp/units dir/*.NFO", l[] = "/l";
    char* both[] = {prog, c, path, nullptr};
    EXPECT_EQ(commandLineFromArgs(3, both), "/c /tmp/units dir/*.NFO");
    char* none[] = {prog, nullptr};
    EXPECT_EQ(commandLineFromArgs(1, none), "");
    char* bare[] = {prog, l, nullptr};
    EXPECT_EQ(commandLineFromArgs(2, bare), "/l");

    EXPECT_TRUE(hasBatchOption("/c /tmp/x.NFO"));
    EXPECT_TRUE(hasBatchOption("-v /l unit.NFO"));
    EXPECT_TRUE(hasBatchOption("/l x /c y"));
    EXPECT_FALSE(hasBatchOption("/c"));                 // no blank after the letter
    EXPECT_FALSE(hasBatchOption("/cx y"));
    EXPECT_FALSE(hasBatchOption("/C x"));
    EXPECT_FALSE(hasBatchOption(""));
}
