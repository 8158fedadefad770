// Saving over a line that loses two adjacent digit bytes of long values:
// every form of the save (the command, the load's backup, the batch load's
// backup) keeps a wrong value out of its file while confirming reads are on,
// and the fault shows in the file while they are off.
#include <gmock/gmock.h>

#include <filesystem>

#include "app/BatchJobs.h"
#include "files/ParameterPairs.h"
#include "params/ParameterModel.h"
#include "files_support.h"

namespace fs = std::filesystem;

namespace {

// Long values whose neighbouring digits all differ, so a lost pair always
// changes the value; the 2-digit and on/off ones cannot be hit.
std::string longValuesBus() {
    std::string bus = "device 5 LONGVALS\n version 2\n pversion 3\n";
    for (unsigned i = 0; i < 48; ++i) {
        const unsigned digits = 4 + 2 * (i % 3);
        uint32_t value = 0;
        for (unsigned d = 0; d < digits; ++d) value |= uint32_t(1 + (i + 5 * d) % 15) << (4 * d);
        char line[64];
        std::snprintf(line, sizeof line, " param %04x %u 0x%X%s\n", 0x100 + 2 * i, digits, value,
                      i % 7 == 0 ? " ext" : "");
        bus += line;
    }
    return bus + " param 0160 2 9\n param 0162 onoff on\n";
}

enum class SaveForm { Command, LoadBackup, BatchBackup };
struct SaveCase {
    SaveForm form;
    bool confirm;
};

}  // namespace

class ConfirmingReads : public FilesOnBusTest, public ::testing::WithParamInterface<SaveCase> {
protected:
    // The parameter file the save wrote, or empty when it wrote none.
    std::string save(SaveForm form, uint32_t seed) {
        fs::remove_all(dir.file("backups"));
        // 2 % of long values: the same pair lost twice in a row (what two reads
        // cannot catch) stays rare enough here; a wrong value needs one loss.
        const FaultOptions faults{.seed = seed, .lostDigitPair = 20000};
        if (form == SaveForm::BatchBackup) {
            sim = std::make_unique<SimFixture>(SimFixture::fromText, longValuesBus());
            on(*sim).settings.serialPort = 1;
            sim->faults(faults);
            const fs::path here = fs::current_path();
            runBatchJob(sim->ctx, "/l " + dir.file("device.NFO"));
            fs::current_path(here);
        } else {
            connect(longValuesBus().c_str(), 5);
            sim->faults(faults);
            if (form == SaveForm::Command) {
                sim->op.files.push_back(dir.file("saved.NFO"));
                fs::remove(dir.file("saved.NFO"));
                fs::remove(dir.file("saved.DOC"));
                saveParameterFile(sim->ctx);
                return fileExists(dir.file("saved.NFO")) ? dir.file("saved.NFO") : "";
            }
            loadFileIntoDevice(sim->ctx, dir.file("device.NFO"));
        }
        for (const auto& entry : fs::directory_iterator(dir.file("backups")))
            if (entry.path().extension() == ".NFO") return entry.path().string();
        return "";
    }
    // Pairs of the file that differ from the device (its values never change:
    // the file loaded is what it holds).
    unsigned wrongValues(const std::string& path) {
        MemoryStream stream;
        EXPECT_TRUE(readSealedFile(ctx, path, stream));
        unsigned wrong = 0, pairs = 0;
        forEachParameterPair(stream.str(), [&](uint32_t number, std::string_view text) {
            const SimParameter& p = sim->device(5)->parameters.at(number);
            ++pairs;
            wrong += parameterValueOf(text, p.onOff()) != p.value;
            return true;
        });
        EXPECT_EQ(pairs, 50u);
        return wrong;
    }
};

TEST_P(ConfirmingReads, AGarbledLineNeverPutsAWrongValueIntoTheFile) {
    const SaveCase c = GetParam();
    ctx.settings.confirmSaveReads = c.confirm;
    ctx.settings.backupBeforeLoad = true;
    // The file loaded is what the device holds: read once on a clean line.
    connect(longValuesBus().c_str(), 5);
    MemoryStream clean;
    ASSERT_TRUE(writeParameterText(sim->ctx, clean));
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("device"), clean));

    unsigned wrong = 0, lost = 0;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        const std::string file = save(c.form, seed);
        lost += unsigned(sim->sim.wire.faultCounts().lostDigitPairs);
        if (!file.empty())
            wrong += wrongValues(file);
        else   // a save that fails names the parameter that never settled
            EXPECT_THAT(sim->op.messages, testing::Contains(testing::Field(
                                              &RecordingOperator::Shown::text, testing::HasSubstr("Parameter 01"))));
    }
    EXPECT_GT(lost, 6u);
    if (c.confirm)
        EXPECT_EQ(wrong, 0u);
    else
        EXPECT_GT(wrong, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryForm, ConfirmingReads,
                         ::testing::Values(SaveCase{SaveForm::Command, true}, SaveCase{SaveForm::Command, false},
                                           SaveCase{SaveForm::LoadBackup, true},
                                           SaveCase{SaveForm::LoadBackup, false},
                                           SaveCase{SaveForm::BatchBackup, true},
                                           SaveCase{SaveForm::BatchBackup, false}));

// A value that changes at every read never settles: the save fails naming it
// and writes nothing.
TEST_F(ConfirmingReads, AValueThatNeverReadsTheSameTwiceFailsTheSave) {
    connect(longValuesBus().c_str(), 5);
    SimParameter& live = sim->device(5)->parameters.at(0x104);
    sim->sim.wire.logSink = [&live](const WireLogEntry& e) { live.value += e.fromMaster; };
    sim->op.files.push_back(dir.file("saved.NFO"));
    saveParameterFile(sim->ctx);
    EXPECT_FALSE(fileExists(dir.file("saved.NFO")));
    ASSERT_FALSE(sim->op.messages.empty());
    EXPECT_EQ(sim->op.messages[0].text, "Parameter 0104 (" + parameterDescription(ctx.texts, 0x104) +
                                            ") could not be read reliably: 6 reads did not agree");
}
