// What the options dialog offers and what its OK writes, without a screen.
#include <gtest/gtest.h>

#include <filesystem>

#include "session/AppContext.h"
#include "app/AdapterOffer.h"
#include "app/OptionsModel.h"
#include "platform/Profile.h"
#include "support/FakeSerialTree.h"
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
    OptionsChoice choice{findLanguageEntry(codes, "ITA"), portEntry(5), true, {}};
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
    OptionsChoice choice{-1, portEntry(30), false, {}};
    applyOptions(settings, {"eng"}, choice, [] { return false; });   // a failed reload is not looked at
    EXPECT_EQ(key(settings.profilePath, "language"), "eng");   // kept, lower-cased
    EXPECT_EQ(key(settings.profilePath, "serial_port"), "0");
    EXPECT_EQ(key(settings.profilePath, "connect_on_startup"), "0");
    EXPECT_EQ(settings.serialPort, 0);
}

namespace {

const FakeSerialTree::Usb kFtdi{"FTDI", "FT232R USB UART", "A50285BI", "0403", "6001"};
constexpr const char* kFtdiId = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// A machine with an adapter, a modem-class device and one built-in port, and
// a configuration that maps some COM ports to them and some to nothing.
class PortChoicesTest : public OptionsModelTest {
protected:
    PortChoicesTest() {
        tree.usbPort("ttyUSB0", "1-2", kFtdi, kFtdiId);
        tree.usbPort("ttyACM0", "1-3", {"Acme", "Acme Bus Probe", "", "1234", "5678"});
        tree.builtInPort("ttyS0", "4");
        tree.builtInPort("ttyS1", "0");
        tree.link("demo/bus0", "/dev/null");
        configure("eng", 1, false);
        dir.write("config.ini", dir.read("config.ini") + "[Port Devices]\ncom1=" + tree.byId(kFtdiId) +
                                    "\ncom2=" + tree.dev("ttyS1") + "\ncom4=" + tree.dir.file("demo/bus0") +
                                    "\ncom5=" + tree.byId("usb-gone") + "\ncom6=" + tree.dev("ttyS0") + "\n");
    }
    std::string portKey(unsigned port) const {
        return profileString(settings.profilePath, "Port Devices", "com" + std::to_string(port), "<missing>");
    }

    FakeSerialTree tree;
};

}  // namespace

TEST_F(PortChoicesTest, EachComEntryShowsItsDeviceAndWhetherItIsThere) {
    PortChoices choices(settings.profilePath, tree.roots());
    ASSERT_EQ(choices.ports().size(), 24u);
    ASSERT_EQ(choices.devices().size(), 3u);   // ttyUSB0, ttyACM0, ttyS0
    struct Row {
        int entry;
        std::string device;
        bool present;
        int deviceEntry;
    };
    const Row rows[] = {
        {0, tree.byId(kFtdiId), true, 0},
        {1, tree.dev("ttyS1"), false, -1},           // no UART behind it
        {2, "/dev/ttyS2", false, -1},                // the default, not among the devices found
        {3, tree.dir.file("demo/bus0"), true, -1},   // a terminal the scan does not list
        {4, tree.byId("usb-gone"), false, -1},
        {5, tree.dev("ttyS0"), true, 2},
    };
    for (const Row& row : rows) {
        const PortEntry& entry = choices.ports()[row.entry];
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(entry.device, row.device);
        EXPECT_EQ(entry.present, row.present);
        EXPECT_EQ(choices.deviceEntry(row.entry), row.deviceEntry);
    }
    EXPECT_EQ(choices.deviceEntry(-1), -1);
    EXPECT_EQ(choices.deviceEntry(24), -1);
}

TEST_F(PortChoicesTest, ChoosingMapsTheStableNameAndOkWritesIt) {
    PortChoices choices(settings.profilePath, tree.roots());
    EXPECT_TRUE(choices.choose(2, 0));    // COM 03 <- the adapter, by its by-id link
    EXPECT_TRUE(choices.choose(6, 1));    // COM 07 <- the modem-class device, which has none
    EXPECT_TRUE(choices.choose(6, 1));    // twice is once
    EXPECT_FALSE(choices.choose(24, 0));
    EXPECT_FALSE(choices.choose(0, 3));
    EXPECT_EQ(choices.ports()[2].device, tree.byId(kFtdiId));
    EXPECT_TRUE(choices.ports()[2].changed);
    EXPECT_EQ(choices.ports()[6].device, tree.dev("ttyACM0"));
    EXPECT_EQ(choices.chosen().size(), 2u);

    // The adapter is pulled while the dialog is open: the choice stays, the
    // entry tells it is gone, the list no longer offers it.
    tree.remove("dev/ttyUSB0");
    EXPECT_TRUE(choices.choose(8, 0));   // still listed: maps, and tells it is gone
    EXPECT_FALSE(choices.ports()[8].present);
    choices.refresh();
    EXPECT_EQ(choices.devices().size(), 2u);
    EXPECT_EQ(choices.ports()[2].device, tree.byId(kFtdiId));
    EXPECT_FALSE(choices.ports()[2].present);
    EXPECT_EQ(choices.deviceEntry(6), 0);

    OptionsChoice choice{0, 2, true, choices.chosen()};
    applyOptions(settings, {"eng"}, choice, [] { return true; });
    EXPECT_EQ(key(settings.profilePath, "serial_port"), "3");   // still a COM number
    EXPECT_EQ(portKey(3), tree.byId(kFtdiId));
    EXPECT_EQ(portKey(7), tree.dev("ttyACM0"));
    EXPECT_EQ(portKey(1), tree.byId(kFtdiId));                 // the others as they were
    EXPECT_EQ(portKey(8), "<missing>");
    EXPECT_EQ(portKey(9), tree.byId(kFtdiId));
}

// Connect offers the one adapter present when the COM port leads nowhere:
// a missing path, a ttyS without UART and a port that is there (ttyS4, no
// adapter itself) against none, one and two adapters.
TEST(AdapterOfferTest, OnlyForAPortThatLeadsNowhereAndOneAdapter) {
    for (int adapters = 0; adapters <= 2; ++adapters) {
        FakeSerialTree tree;
        tree.builtInPort("ttyS0", "0");
        tree.builtInPort("ttyS4", "4");
        if (adapters >= 1) tree.usbPort("ttyUSB0", "1-2", kFtdi, kFtdiId);
        if (adapters >= 2) tree.virtualTty("rfcomm0");
        const SerialScan scan = scanSerialDevices(tree.roots());
        for (const char* name : {"ttyUSB7", "ttyS0", "ttyS4"}) {
            SCOPED_TRACE(std::string(name) + " with adapters: " + std::to_string(adapters));
            const bool offered = adapters == 1 && name != std::string("ttyS4");
            const AdapterOffer offer = singleAdapterOffer(tree.dev(name), scan);
            EXPECT_EQ(offer.offer, offered);
            EXPECT_EQ(offer.path, offered ? tree.byId(kFtdiId) : "");
        }
    }
}

TEST_F(OptionsModelTest, OkWithoutChosenDevicesLeavesThePortSectionAlone) {
    configure("eng", 2, false);
    applyOptions(settings, {"eng"}, OptionsChoice{0, 1, false, {}}, [] { return true; });
    EXPECT_EQ(dir.read("config.ini").find("Port Devices"), std::string::npos);
}

