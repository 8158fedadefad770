// Saving over a line that loses two adjacent digit bytes of long values: the
// save command, the load's backup and the batch load's backup keep wrong
// values out of their files with confirming reads on; off, the fault shows.
#include <gmock/gmock.h>

#include <filesystem>

#include "app/BatchJobs.h"
#include "files/ParameterPairs.h"
#include "files_support.h"
#include "params/ParameterModel.h"

namespace fs = std::filesystem;

enum class SaveForm { Command, LoadBackup, BatchBackup };

class ConfirmingReads : public FilesOnBusTest, public ::testing::WithParamInterface<std::tuple<SaveForm, bool>> {
protected:
    // 4, 6 and 8 digits, neighbouring digits all different (a lost pair
    // always shows), every seventh reachable with extended access only.
    static std::string bus() {
        std::string text = "device 5 LONGVALS\n param 0160 2 9\n param 0162 onoff on\n";
        for (unsigned i = 0, digits = 4; i < 48; ++i, digits = 4 + 2 * (i % 3)) {
            uint32_t value = 0;
            for (unsigned d = 0; d < digits; ++d) value |= uint32_t(1 + (i + 5 * d) % 15) << (4 * d);
            text += " param " + formatParameterNumber(0x100 + 2 * i) + " " + std::to_string(digits) + " " +
                    std::to_string(value) + (i % 7 ? "\n" : " ext\n");
        }
        return text;
    }
    // The parameter file the save wrote, or empty.
    std::string save(SaveForm form) {
        fs::remove_all(dir.file("backups"));
        fs::remove(dir.file("saved.NFO"));
        fs::remove(dir.file("saved.DOC"));
        sim->op.files.push_back(dir.file("saved.NFO"));
        if (form == SaveForm::Command) saveParameterFile(sim->ctx);
        if (form == SaveForm::LoadBackup) loadFileIntoDevice(sim->ctx, dir.file("device.NFO"));
        if (form == SaveForm::BatchBackup) runBatchJob(sim->ctx, "/l " + dir.file("device.NFO"));
        if (fs::exists(dir.file("backups")))
            for (const auto& entry : fs::directory_iterator(dir.file("backups")))
                if (entry.path().extension() == ".NFO") return entry.path().string();
        return fileExists(dir.file("saved.NFO")) ? dir.file("saved.NFO") : "";
    }
};

TEST_P(ConfirmingReads, AGarbledLineNeverPutsAWrongValueIntoTheFile) {
    const auto [form, confirm] = GetParam();
    ctx.settings.confirmSaveReads = confirm;
    ctx.settings.backupBeforeLoad = true;
    connect(bus().c_str(), 5);   // the file loaded is what the device holds
    MemoryStream clean;
    ASSERT_TRUE(writeParameterText(sim->ctx, clean) && writeSealedFile(ctx, dir.file("device"), clean));
    unsigned wrong = 0;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        connect(bus().c_str(), 5);
        if (form == SaveForm::BatchBackup) sim->link.Close();   // the job opens the port itself
        // 2 % of long values: the same pair lost in every read (what reading
        // again cannot catch) stays rare; a wrong value needs one loss only.
        sim->faults({.seed = seed, .lostDigitPair = 20000});
        const fs::path here = fs::current_path();
        const std::string file = save(form);
        fs::current_path(here);
        MemoryStream saved;
        ASSERT_TRUE(file.empty() || readSealedFile(ctx, file, saved)) << "seed " << seed;
        // A save that wrote nothing has named the parameter that never settled.
        if (file.empty()) EXPECT_THAT(sim->op.texts(), testing::Contains(testing::HasSubstr("Parameter 01")));
        forEachParameterPair(saved.str(), [&](uint32_t number, std::string_view text) {
            const SimParameter& p = sim->device(5)->parameters.at(number);
            wrong += parameterValueOf(text, p.onOff()) != p.value;
            return true;
        });
    }
    if (confirm) EXPECT_EQ(wrong, 0u);
    else EXPECT_GT(wrong, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryForm, ConfirmingReads,
                         testing::Combine(testing::Values(SaveForm::Command, SaveForm::LoadBackup,
                                                          SaveForm::BatchBackup),
                                          testing::Bool()));

// A value that changes at every read never settles: nothing is written, and
// the message names it.
TEST_F(ConfirmingReads, AValueThatNeverReadsTheSameFailsTheSave) {
    connect(bus().c_str(), 5);
    SimParameter& live = sim->device(5)->parameters.at(0x104);
    sim->sim.wire.logSink = [&live](const WireLogEntry& e) { live.value += e.fromMaster; };
    EXPECT_EQ(save(SaveForm::Command), "");
    EXPECT_THAT(sim->op.texts(), testing::ElementsAre("Parameter 0104 (" + parameterDescription(ctx.texts, 0x104) +
                                                      ") could not be read reliably: 6 reads did not agree"));
}
