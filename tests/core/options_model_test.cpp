// What the options dialog offers and what its OK writes, without a screen.
#include <gtest/gtest.h>

#include <filesystem>

#include "session/AppContext.h"
#include "app/OptionsModel.h"
#include "platform/Profile.h"
#include "support/Support.h"

namespace {

using Codes = std::vector<std::string>;

constexpr const char* kSection = "BASIC Configurations";

std::string key(const std::string& profile, const char* name) {
    return profileString(profile, kSection, name, "<missing>");
}

// Keeps the application state a test changes from leaking into the next.
class OptionsModelTest : public ::testing::Test {
protected:

    void configure(const std::string& language, unsigned port, bool connect) {
        Settings& s = settings;
        s.installDirectory = dir.path();
        s.profilePath = dir.file("config.ini");
        s.language = language;
        s.serialPort = uint8_t(port);
        s.connectOnStartup = connect;
        dir.write("config.ini", "[BASIC Configurations]\nlanguage=" + language +
                                    "\nserial_port=" + std::to_string(port) +
                                    "\nconnect_on_startup=" + (connect ? "1" : "0") + "\n");
    }

    TempDir dir;
    Settings settings;
};

}  // namespace

TEST_F(OptionsModelTest, LanguageCodesFromTheMessagesFiles) {
    dir.write("messages.eng", "");
    dir.write("messages.ITA", "");
    dir.write("messages.ita", "");       // the same code twice is offered once
    dir.write("messages", "");           // no point: no language
    dir.write("messages.", "");          // an empty code names none
    dir.write("messages.deu.old", "");   // everything after the first point
    dir.write("errors.fra", "");
    dir.write("Messages.esp", "");       // the loader opens "messages." exactly
    std::filesystem::create_directory(dir.file("messages.dir"));
    EXPECT_EQ(languageCodes(dir.path()), (Codes{"deu.old", "eng", "ita"}));
    EXPECT_EQ(languageCodes(dir.file("no-such-dir")), Codes{});
}

TEST(OptionsModel, LanguageSearchStartsAtTheSecondEntryAndWraps) {
    EXPECT_EQ(findLanguageEntry({"eng", "english"}, "eng"), 1);
    EXPECT_EQ(findLanguageEntry({"eng", "ita"}, "ITA"), 1);
    EXPECT_EQ(findLanguageEntry({"eng", "ita"}, "Eng"), 0);   // the first is tried last
    EXPECT_EQ(findLanguageEntry({"deu", "eng", "english"}, "eng"), 1);
    EXPECT_EQ(findLanguageEntry({"eng"}, "eng"), 0);
    EXPECT_EQ(findLanguageEntry({"eng", "ita"}, "fra"), -1);
    EXPECT_EQ(findLanguageEntry({"eng", "ita"}, "engl"), -1);  // prefix of the entry, not of the language
    EXPECT_EQ(findLanguageEntry({}, "eng"), -1);
}

TEST(OptionsModel, PortNamesAndTheConfiguredEntry) {
    Codes names = portNames();
    ASSERT_EQ(names.size(), 24u);
    EXPECT_EQ(names.front(), "COM 01");
    EXPECT_EQ(names[4], "COM 05");
    EXPECT_EQ(names.back(), "COM 24");
    EXPECT_EQ(portEntry(5), 4);
    EXPECT_EQ(portEntry(1), 0);
    EXPECT_EQ(portEntry(24), 23);
    EXPECT_EQ(portEntry(0), -1);
    EXPECT_EQ(portEntry(25), -1);
    EXPECT_EQ(portEntry(30), -1);
}

TEST_F(OptionsModelTest, OkWithoutChangesWritesTheSameValuesBack) {
    configure("ITA", 5, true);
    Codes codes{"eng", "ita"};
    // The loader runs once, after all three keys are in the file.
    std::vector<std::string> seen;
    OptionsChoice choice{findLanguageEntry(codes, "ITA"), portEntry(5), true};
    applyOptions(settings, codes, choice, [&] {
        for (const char* name : {"language", "serial_port", "connect_on_startup"})
            seen.push_back(key(settings.profilePath, name));
        return true;
    });
    EXPECT_EQ(seen, (Codes{"ita", "5", "1"}));
    EXPECT_EQ(settings.language, "ita");
    EXPECT_EQ(settings.serialPort, 5);
    EXPECT_NE(dir.read("config.ini").find("[BASIC Configurations]"), std::string::npos);
}

TEST_F(OptionsModelTest, NothingSelectedKeepsTheLanguageAndWritesPortZero) {
    configure("ENG", 30, false);
    OptionsChoice choice{-1, portEntry(30), false};
    applyOptions(settings, {"eng"}, choice, [] { return false; });   // a failed reload is not looked at
    EXPECT_EQ(key(settings.profilePath, "language"), "eng");   // kept, lower-cased
    EXPECT_EQ(key(settings.profilePath, "serial_port"), "0");
    EXPECT_EQ(key(settings.profilePath, "connect_on_startup"), "0");
    EXPECT_EQ(settings.serialPort, 0);
}
