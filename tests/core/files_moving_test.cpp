// A living device: counters that count and measurements that wander between
// two reads, and a line that loses digit pairs, through every flow that reads
// a device. A value that moves is saved as its last read and named, never a
// reason to fail; a garbled one never reaches a file, a load or a verdict.
#include <gmock/gmock.h>

#include <filesystem>

#include "files/Compare.h"
#include "files/ParameterPairs.h"
#include "files/SafeLoad.h"
#include "files_support.h"
#include "link/RegisterKeys.h"

namespace fs = std::filesystem;
using testing::HasSubstr;

namespace {

// Counter steps after every read, FastCounter every 20 ms of the device's clock.
enum class Behaviour { Still, Counter, FastCounter, Wandering, Garbled, MovingGarbled };
enum class Flow { Save, LoadWithBackupAndReadBack, DeviceAgainstFile };

// 0102 is free (the first pass tells its width), 0104 is reached with
// extended access only (its width is learnt by reading again). The password
// is long enough to lose a pair.
const char* kBus = "device 1 PUMPCTRL\n version 3\n pversion 2\n password 0x7654321\n"
                   "param 0100 2 1\n param 0102 4 1000\n param 0104 8 23456 ext\n param 0106 onoff on\n";
constexpr uint32_t kLive[] = {0x102, 0x104};

bool moves(Behaviour b) { return b != Behaviour::Still && b != Behaviour::Garbled; }

class LivingDevice : public FilesOnBusTest, public testing::WithParamInterface<std::tuple<Flow, Behaviour>> {
protected:
    void SetUp() override {
        FilesOnBusTest::SetUp();
        ctx.settings.backupBeforeLoad = true;
        ctx.settings.verifyAfterLoad = true;
        // The file of the device as it was, from a still device on a good line.
        connect(kBus, 1);
        MemoryStream text;
        ASSERT_TRUE(writeParameterText(sim->ctx, text) && writeSealedFile(ctx, dir.file("device"), text));
        fileText = text.str();
        connect(kBus, 1);
        const Behaviour behaviour = std::get<1>(GetParam());
        for (uint32_t key : kLive) {
            SimParameter& p = *sim->device(1)->parameter(key);
            if (behaviour == Behaviour::Counter || behaviour == Behaviour::MovingGarbled) p.motion = SimMotion::Counter;
            if (behaviour == Behaviour::FastCounter) {
                p.motion = SimMotion::Counter;
                p.periodNs = 20'000'000;
            }
            if (behaviour == Behaviour::Wandering) {
                p.motion = SimMotion::Wander;
                p.band = 3;
            }
        }
        if (behaviour == Behaviour::Garbled || behaviour == Behaviour::MovingGarbled)
            sim->faults({.seed = 3, .lostDigitPair = 150000});
    }
    // The value of key in a parameter text, as the load reads it.
    static std::optional<uint32_t> valueIn(const std::string& text, uint32_t key) {
        std::optional<uint32_t> found;
        forEachParameterPair(text, [&](uint32_t number, std::string_view value) {
            if (number == key) found = parameterValueOf(value, false);
            return true;
        });
        return found;
    }
    std::string fileText;
};

TEST_P(LivingDevice, MovingValuesAreNamedAndGarbledOnesNeverLand) {
    const auto [flow, behaviour] = GetParam();
    SimDevice& device = *sim->device(1);
    std::vector<std::string> told;
    if (flow == Flow::Save) {
        sim->op.files.push_back(dir.file("saved.NFO"));
        saveParameterFile(sim->ctx);
        MemoryStream saved;
        ASSERT_TRUE(readSealedFile(ctx, dir.file("saved"), saved)) << testing::PrintToString(sim->op.texts());
        // The head holds what the device holds, however the line garbled it.
        EXPECT_THAT(saved.str(), HasSubstr("#PSWD: 731241441 "));
        EXPECT_THAT(saved.str(), HasSubstr("#PVER: 2 "));
        for (uint32_t key : kLive) {
            const auto value = valueIn(saved.str(), key);
            ASSERT_TRUE(value);
            // Still, or wandering within its band, or counted up to what the device holds now.
            if (!moves(behaviour)) {
                EXPECT_EQ(*value, key == 0x102 ? 1000u : 23456u);
            } else if (behaviour != Behaviour::FastCounter) {
                EXPECT_NEAR(double(*value), double(device.parameter(key)->value), 6.0);
            }
        }
        told = sim->op.texts();
    }
    if (flow == Flow::LoadWithBackupAndReadBack) {
        sim->op.answers.push_back(true);
        EXPECT_TRUE(loadFileIntoDevice(sim->ctx, dir.file("device.NFO"))) << testing::PrintToString(sim->op.texts());
        EXPECT_EQ(device.password, 0x7654321u);
        EXPECT_EQ(device.parameter(0x100)->value, 1u);
        told = sim->op.texts();
        EXPECT_THAT(told, testing::Not(testing::Contains(HasSubstr("differ"))));
    }
    if (flow == Flow::DeviceAgainstFile) {
        Comparison cmp;
        ASSERT_TRUE(compareDeviceWithFile(sim->ctx, dir.file("device.NFO"), cmp));
        for (const ComparedRow& row : cmp.rows) {
            SCOPED_TRACE(formatParameterNumber(row.number));
            // Only what lives differs, and it is marked as moving.
            EXPECT_TRUE(moves(behaviour));
            EXPECT_THAT(kLive, testing::Contains(row.number));
            // Read again at once, a counter of its own pace may not have stepped.
            EXPECT_TRUE(row.moving || behaviour == Behaviour::MovingGarbled || behaviour == Behaviour::FastCounter);
        }
        return;
    }
    // What moved is told with its number; nothing is told to have moved on a still device.
    const bool toldMoving = std::any_of(told.begin(), told.end(), [](const std::string& t) {
        return t.find("move") != std::string::npos;
    });
    if (flow == Flow::Save || !moves(behaviour)) {
        EXPECT_EQ(toldMoving, moves(behaviour)) << testing::PrintToString(told);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFlow, LivingDevice,
    testing::Combine(testing::Values(Flow::Save, Flow::LoadWithBackupAndReadBack, Flow::DeviceAgainstFile),
                     testing::Values(Behaviour::Still, Behaviour::Counter, Behaviour::FastCounter, Behaviour::Wandering,
                                     Behaviour::Garbled, Behaviour::MovingGarbled)));

// A device that keeps its password to itself: the save holds none and says
// so (a load of the file then leaves a password as it is); a counter that
// wraps at its width still reads as moving, not as a garbled value.
TEST_F(FilesOnBusTest, AWithheldPasswordIsLeftOutAndAWrappingCounterMoves) {
    connect("device 1 PUMPCTRL\n password 0x1234\n param 0100 4 65534\n", 1);
    sim->device(1)->unavailableKeys.insert(PasswordKey);
    sim->device(1)->parameter(0x100)->motion = SimMotion::Counter;
    MemoryStream text;
    ReadNotes notes;
    ASSERT_TRUE(writeParameterText(sim->ctx, text, &notes));
    EXPECT_THAT(text.str(), testing::Not(HasSubstr("#PSWD")));
    EXPECT_TRUE(notes.passwordWithheld);
    ASSERT_EQ(notes.moving.size(), 1u);
    EXPECT_EQ(notes.moving[0].number, 0x100u);
    EXPECT_THAT(notes.moving[0].seen, testing::Contains(0u));   // 65535 went on to 0
}

}  // namespace
