// Loading parameter files into a device of the in-process bus simulator.
#include <gmock/gmock.h>

#include <algorithm>

#include "files_support.h"
#include "link/DeviceLink.h"
#include "params/ParameterModel.h"
#include "support/SimFixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char* kValveBus =
    "device 5 VALVE01\n version 2\n pversion 3\n password 4\n"
    " param 0100 4 1000\n param 0102 onoff on\n param 0104 2 55 ext\n param 0106 4 7\n end 0108\n";

std::string header(const std::string& name = "VALVE01   ") {
    return "#DATE: 07-06-2008  \n#NAME: " + name + "\n#ADDR: 5  \n#VER.: 2  \n#REL.: 0  \n#PVER: 3  \n#PSWD: 4  ";
}

std::map<uint32_t, uint32_t> valuesOf(const SimDevice& device) {
    std::map<uint32_t, uint32_t> values;
    for (const auto& [key, p] : device.parameters) values[key] = p.value;
    return values;
}

}  // namespace

class LoadTest : public FilesOnBusTest {
protected:
    void connect(const char* bus = kValveBus, uint8_t address = 5) { FilesOnBusTest::connect(bus, address); }
    bool apply(const std::string& text) {
        MemoryStream s = streamOf(text);
        sim->op.clear();
        return applyParameterText(sim->ctx, s);
    }
    SimDevice& valve() { return *sim->device(5); }
};

TEST_F(LoadTest, SavedDeviceLoadsIntoAFreshDeviceOfTheSameName) {
    // The demo bus's pump controller with its 300 and more parameters.
    auto source = std::make_unique<SimFixture>();
    source->holdStill();   // the values saved are compared with the device's
    ASSERT_TRUE(source->connect(1));
    source->op.files.push_back(dir.file("pump"));
    saveParameterFile(on(*source));
    ASSERT_THAT(source->op.texts(), IsEmpty());
    const auto saved = valuesOf(*source->device(1));
    ASSERT_GT(saved.size(), 300u);
    source.reset();

    SimFixture fresh;
    ASSERT_TRUE(fresh.connect(1));
    SimDevice& device = *fresh.device(1);
    for (auto& [key, p] : device.parameters) p.value = p.onOff() ? !p.value : (p.value == 1 ? 2 : 1);
    ASSERT_NE(valuesOf(device), saved);
    fresh.op.clear();
    fresh.op.files.push_back(dir.file("pump.NFO"));
    fresh.op.answers = {true};
    loadParameterFileCommand(on(fresh));
    EXPECT_THAT(fresh.op.texts(), ElementsAre("Loaded " + dir.file("pump.NFO")));
    EXPECT_EQ(valuesOf(device), saved);
    EXPECT_EQ(device.restarts, 1u);
    EXPECT_TRUE(fresh.frame.deviceSelected);
    EXPECT_TRUE(fresh.frame.idle);
    EXPECT_FALSE(fresh.op.progressMisused);
}

TEST_F(LoadTest, WritesIdentityClearsEverythingAndWritesTheListedValues) {
    connect();
    SimDevice* device = &valve();
    ASSERT_TRUE(apply("#NAME: VALVE01 \n#ADDR: 9  \n#PSWD: 17  \n#CODE: 100  #DATA: 1234  \n#CODE: 102  #DATA: OFF  "));
    EXPECT_THAT(sim->op.texts(), IsEmpty());
    ASSERT_EQ(sim->device(9), device);   // answers at the new address
    EXPECT_EQ(sim->link.selectedAddress, 9u);
    EXPECT_EQ(device->password, 017u);
    EXPECT_EQ(sim->link.password, 017u);
    EXPECT_EQ(device->parameter(0x100)->value, 1234u);
    EXPECT_EQ(device->parameter(0x102)->value, 0u);
    EXPECT_EQ(device->parameter(0x104)->value, 0u);   // not listed: left at 0
    EXPECT_EQ(device->parameter(0x106)->value, 0u);
    // Progress: access and the check of every value, then access, clearing
    // pass and data pass.
    ASSERT_EQ(sim->op.progress.size(), 5u);
    EXPECT_EQ(sim->op.progress[1].caption, "Checking the file against the device");
    EXPECT_EQ(sim->op.progress[3].caption, "Clearing the parameters");
    EXPECT_EQ(sim->op.progress[4].caption, "Writing the parameter values");
}

TEST_F(LoadTest, ClearingPassWritesZeroInTheFormOppositeToTheReading) {
    connect();
    sim->sim.clearLog();
    ASSERT_TRUE(apply("#NAME: VALVE01 "));
    const std::vector<uint8_t> sent = sim->sim.sentBytes();
    auto contains = [&](std::vector<uint8_t> run) {
        return std::search(sent.begin(), sent.end(), run.begin(), run.end()) != sent.end();
    };
    EXPECT_TRUE(contains({0x01, 0x01, 0x10}));         // numeric 0100: the single digit 0
    EXPECT_TRUE(contains({0x03, 0x01, 0x00, 0x50}));   // on/off 0102: the value 0
    EXPECT_FALSE(contains({0x01, 0x01, 0x00, 0x50}));
    EXPECT_FALSE(contains({0x03, 0x01, 0x10}));
    for (uint32_t key : {0x100u, 0x102u, 0x104u, 0x106u}) EXPECT_EQ(valve().parameter(key)->value, 0u) << key;
}

TEST_F(LoadTest, NameMustBeginWithTheDeviceNameInItsCase) {
    connect();
    EXPECT_TRUE(apply(header("VALVE01   EXTRA") + "\n#CODE: 100  #DATA: 5  "));
    EXPECT_EQ(valve().parameter(0x100)->value, 5u);

    valve().parameter(0x100)->value = 77;
    unsigned writes = valve().writes;
    EXPECT_FALSE(apply(header("valve01   ") + "\n#CODE: 100  #DATA: 5  "));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 32784"));
    EXPECT_FALSE(apply(header("VALVE") + "\n#CODE: 100  #DATA: 5  "));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 32784"));
    EXPECT_FALSE(apply("#ADDR: 5\n#CODE: 100  #DATA: 5  "));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 32783"));
    EXPECT_EQ(valve().writes, writes);
    EXPECT_EQ(valve().parameter(0x100)->value, 77u);
}

TEST_F(LoadTest, OptionalHeaderKeysAndTheParameterVersionQuestion) {
    connect();
    // No "#PVER: ", "#ADDR: " or "#PSWD: ": only the parameters are written.
    EXPECT_TRUE(apply("#NAME: VALVE01 \n#CODE: 106  #DATA: 9  "));
    EXPECT_EQ(sim->writes(5, 60), 0u);
    EXPECT_EQ(sim->writes(5, 48), 0u);
    EXPECT_EQ(valve().parameter(0x106)->value, 9u);
    EXPECT_THAT(sim->op.questions, IsEmpty());

    // Another parameter version: No stops before anything is written.
    unsigned writes = valve().writes;
    sim->op.answers.push_back(false);
    EXPECT_FALSE(apply("#NAME: VALVE01 \n#PVER: 4\n#CODE: 106  #DATA: 1  "));
    ASSERT_EQ(sim->op.questions.size(), 1u);
    EXPECT_EQ(sim->op.questions[0].text, "text 32788");
    EXPECT_THAT(sim->op.texts(), IsEmpty());
    EXPECT_EQ(valve().writes, writes);
    // Yes goes on.
    sim->op.answers.push_back(true);
    EXPECT_TRUE(apply("#NAME: VALVE01 \n#PVER: 4\n#CODE: 106  #DATA: 1  "));
    EXPECT_EQ(valve().parameter(0x106)->value, 1u);
}

TEST_F(LoadTest, ValuesAreReadByTheKindTheDeviceReports) {
    connect();
    // An on/off parameter given a number is off unless the text begins with "ON".
    EXPECT_TRUE(apply("#NAME: VALVE01 \n#CODE: 102  #DATA: 1  "));
    EXPECT_EQ(valve().parameter(0x102)->value, 0u);
    EXPECT_TRUE(apply("#NAME: VALVE01 \n#CODE: 102  #DATA: ONX  "));
    EXPECT_EQ(valve().parameter(0x102)->value, 1u);
    // "ON" for a numeric parameter would stop the load: it is refused before
    // anything is written.
    valve().parameter(0x100)->value = 77;
    EXPECT_FALSE(apply("#NAME: VALVE01 \n#CODE: 100  #DATA: 12  \n#CODE: 106  #DATA: ON  \n#CODE: 104  #DATA: 3  "));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 32783"));
    EXPECT_EQ(valve().parameter(0x100)->value, 77u);
    EXPECT_EQ(valve().parameter(0x102)->value, 1u);   // not cleared either
    // A number the device does not have: the load completes, then text 32786.
    EXPECT_TRUE(apply("#NAME: VALVE01 \n#CODE: 100  #DATA: 8  \n#CODE: 7000  #DATA: 1  \n#CODE: 106  #DATA: 2  "));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 32786"));
    EXPECT_EQ(valve().parameter(0x106)->value, 2u);
    // A value wider than the parameter goes to the device as it is once the
    // operator says so, and the device refuses it.
    sim->op.answers = {true};
    EXPECT_FALSE(apply("#NAME: VALVE01 \n#CODE: 104  #DATA: 300  "));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 3"));
}

TEST_F(LoadTest, DeviceWithoutTheFirstNumberIsStillLoaded) {
    connect("device 6 NOFIRST\n param 0104 2 9\n param 0106 onoff on\n", 6);
    EXPECT_TRUE(apply("#NAME: NOFIRST \n#CODE: 106  #DATA: ON  "));
    EXPECT_EQ(sim->device(6)->parameter(0x104)->value, 9u);   // the clearing pass ended at once
    EXPECT_EQ(sim->device(6)->parameter(0x106)->value, 1u);
}

// A text that would stop half way never reaches the device: its values are
// checked by the text alone, then each against the kind of its parameter,
// which the handshake and reads tell without writing a parameter.
TEST_F(LoadTest, MalformedTextChangesNothingOnTheDevice) {
    connect();
    const std::string good = header() + "\n#CODE: 100  #DATA: 1  \n#CODE: 102  #DATA: ON  ";
    ASSERT_TRUE(apply(good));
    auto parameterWrites = [&] {
        unsigned n = 0;
        for (const auto& [key, count] : valve().writesByKey)
            if (key != 62 && key != 68) n += count;   // the access handshake's own
        return n;
    };
    const unsigned writes = parameterWrites();
    const std::vector<std::string> bad = {
        header() + "\n#CODE: 100  #DATA: 1  \n#CODE: zz  #DATA: 2  ",      // unreadable number
        header() + "\n#CODE: 100  #DATA: 1  \n#CODE: 102  #DATA: ",        // value missing at the end
        header() + "\n#CODE: 100  #DATA: \n#CODE: 102  #DATA: ON  ",       // a key for a numeric value
        header() + "\n#CODE: 102  #DATA: ON  \n#CODE: 106  #DATA: abc  ",   // a word for a numeric value
        header() + "\n#CODE: 3A  #DATA: 85  ",                              // a system register (restart)
        header() + "\n#CODE: 181  #DATA: 1  ",                              // odd, low byte past 0x7E
        header() + "\n#CODE: 8000  #DATA: 1  ",                             // beyond the last page
        "#NAME: VALVE01 \n#PVER: x\n#CODE: 100  #DATA: 1  ",
        "#NAME: VALVE01 \n#ADDR: \n#CODE: 100  #DATA: 1  ",
        "#NAME: VALVE01 \n#ADDR: 40\n#CODE: 100  #DATA: 1  ",                // no bus address
        "#NAME: VALVE01 \n#PSWD: 9\n#CODE: 100  #DATA: 1  ",                 // not octal
    };
    for (const auto& text : bad) {
        EXPECT_FALSE(apply(text)) << text;
        EXPECT_THAT(sim->op.texts(), ElementsAre("text 32783")) << text;
        EXPECT_THAT(sim->op.questions, IsEmpty());
    }
    EXPECT_EQ(parameterWrites(), writes);
    EXPECT_EQ(valve().address, 5u);
    EXPECT_EQ(valve().password, 4u);
}

// What "%3s" and "%x" make of odd texts loads as they read it.
TEST_F(LoadTest, EmptyOnOffValueAndOddNumbersLoadAsTheyRead) {
    connect();
    // An empty value reads the next word: an on/off parameter takes it as OFF.
    EXPECT_TRUE(apply(header() + "\n#CODE: 102  #DATA: \n#CODE: 106  #DATA: 9  "));
    EXPECT_THAT(sim->op.texts(), IsEmpty());
    EXPECT_EQ(valve().parameter(0x102)->value, 0u);
    EXPECT_EQ(valve().parameter(0x106)->value, 9u);
    // An odd number carries the direction bit of the even one below it.
    EXPECT_TRUE(apply(header() + "\n#CODE: 107  #DATA: 11  \n#CODE: 103  #DATA: ON  "));
    EXPECT_THAT(sim->op.texts(), IsEmpty());
    EXPECT_EQ(valve().parameter(0x106)->value, 11u);
    EXPECT_EQ(valve().parameter(0x102)->value, 1u);
}

TEST_F(LoadTest, FailuresOnTheLineAreReported) {
    connect();
    valve().mutedKeys.insert(60);
    EXPECT_FALSE(apply(header()));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 3"));
    valve().mutedKeys = {48};
    EXPECT_FALSE(apply(header()));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 3"));
    valve().mutedKeys = {62};
    EXPECT_FALSE(apply("#NAME: VALVE01 "));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 1057"));
    valve().mutedKeys = {0x104};
    EXPECT_FALSE(apply("#NAME: VALVE01 \n#CODE: 100  #DATA: 1  "));
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 3"));
    EXPECT_EQ(sim->op.progressDepth, 0);
}

TEST_F(LoadTest, CommandReadsTheFileRestartsAndReportsALostDevice) {
    connect();
    sim->op.files.push_back(dir.file("missing.NFO"));
    sim->op.answers = {true};
    loadParameterFileCommand(sim->ctx);
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 4"));
    EXPECT_EQ(valve().restarts, 0u);   // refused before the device was touched

    // A file that fails verification is not applied.
    dir.write("bad.NFO", "#NAME: VALVE01 \n#CODE: 100  #DATA: 1  \n#END.: 1");
    sim->op.clear();
    sim->op.files.push_back(dir.file("bad.NFO"));
    sim->op.answers = {true};
    loadParameterFileCommand(sim->ctx);
    EXPECT_THAT(sim->op.texts(), ElementsAre("text 32783"));
    EXPECT_EQ(sim->writes(5, 0x100), 0u);
    EXPECT_EQ(valve().restarts, 0u);

    // Cancel: nothing happens on the bus.
    sim->op.clear();
    sim->sim.clearLog();
    loadParameterFileCommand(sim->ctx);
    EXPECT_TRUE(sim->sim.sentBytes().empty());
    EXPECT_TRUE(sim->frame.idle);

    // The device does not come back from its restart.
    MemoryStream text = streamOf(header() + "\n#FREE: 100\n#CODE: 100  #DATA: 3  ");
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("good"), text));
    HookedOperator hooked;
    hooked.caption = "Restarting the device";
    SimDevice* device = &valve();   // no longer found at its address once it has vanished
    hooked.onShow = [&] { device->vanished = true; };
    sim->ctx.setOperator(&hooked);
    hooked.files.push_back(dir.file("good.NFO"));
    hooked.answers = {true};
    loadParameterFileCommand(sim->ctx);
    EXPECT_THAT(hooked.texts(), ElementsAre("text 1062"));
    EXPECT_EQ(device->parameter(0x100)->value, 3u);
    EXPECT_FALSE(sim->frame.deviceSelected);
    EXPECT_TRUE(sim->frame.idle);
}

// Values wider than the digits the device gives their parameters are asked
// about in one question before anything is written: No (a batch job's
// answer) leaves the device as it was.
TEST_F(LoadTest, ValuesWiderThanTheirDigitsAreAskedAboutFirst) {
    connect();
    EXPECT_FALSE(apply("#NAME: VALVE01 \n#CODE: 100  #DATA: 70000  \n#CODE: 104  #DATA: 300  \n#CODE: 106  #DATA: 65535  "));
    ASSERT_EQ(sim->op.questions.size(), 1u);
    EXPECT_EQ(sim->op.questions[0].text, "Too wide. Load anyway?\n\n0100 " + parameterDescription(sim->ctx.texts, 0x100) +
                                             ": 70000 in 4 digits\n0104 " +
                                             parameterDescription(sim->ctx.texts, 0x104) + ": 300 in 2 digits");
    EXPECT_EQ(sim->op.questionsDefaultNo, std::vector<bool>{true});
    for (uint32_t key : {0x100u, 0x102u, 0x104u, 0x106u}) EXPECT_EQ(sim->writes(5, key), 0u);
}
