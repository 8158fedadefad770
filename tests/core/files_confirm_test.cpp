// A line that loses two adjacent digit bytes of long values: with confirming
// reads on, no save form puts a wrong value into its file; off, it shows.
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
    void connectPump() {
        sim = std::make_unique<SimFixture>(demoBusPath());   // 123 long values, 31 of them extended only
        sim->holdStill();   // every value saved is compared with the device's
        on(*sim);
        ASSERT_TRUE(sim->connect(1));
    }
    // The parameter file the save wrote, or empty.
    std::string save(SaveForm form) {
        fs::remove_all(dir.file("backups"));
        for (const char* name : {"saved.NFO", "saved.DOC"}) fs::remove(dir.file(name));
        sim->op.files.push_back(dir.file("saved.NFO"));
        if (form == SaveForm::Command) saveParameterFile(sim->ctx);
        if (form == SaveForm::LoadBackup) {
            sim->op.answers.push_front(true);   // the window's load asks first
            loadFileIntoDevice(sim->ctx, dir.file("device.NFO"));
        }
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
    connectPump();
    MemoryStream clean;   // the file loaded is what the device holds
    ASSERT_TRUE(writeParameterText(sim->ctx, clean) && writeSealedFile(ctx, dir.file("device"), clean));
    unsigned wrong = 0;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        connectPump();
        if (form == SaveForm::BatchBackup) sim->link.Close();   // the job opens the port itself
        // 2 % of long values: one loss makes a wrong value, one per read a rare wrong agreement.
        sim->faults({.seed = seed, .lostDigitPair = 20000});
        const std::string file = save(form);
        MemoryStream saved;
        ASSERT_TRUE(file.empty() || readSealedFile(ctx, file, saved)) << "seed " << seed;
        if (file.empty()) {   // then it named the parameter that never settled
            EXPECT_THAT(sim->op.texts(), testing::Contains(testing::HasSubstr("Parameter 01")));
        }
        forEachParameterPair(saved.str(), [&](uint32_t number, std::string_view text) {
            const SimParameter& p = sim->device(1)->parameters.at(number);
            wrong += parameterValueOf(text, p.onOff()) != p.value;
            return true;
        });
    }
    if (confirm) EXPECT_EQ(wrong, 0u);
    else EXPECT_GT(wrong, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryForm, ConfirmingReads, testing::Combine(testing::Values(SaveForm::Command,
                         SaveForm::LoadBackup, SaveForm::BatchBackup), testing::Bool()));

// A value that changes at every read is a counter at work, not a garbled
// line: the save goes through with its last read and names it.
TEST_F(ConfirmingReads, AValueThatChangesAtEveryReadIsSavedAsMoving) {
    connectPump();
    SimParameter& live = sim->device(1)->parameters.at(0x106);
    sim->sim.wire.logSink = [&live](const WireLogEntry& e) { live.value += e.fromMaster; };
    ASSERT_NE(save(SaveForm::Command), "");
    ASSERT_EQ(sim->op.texts().size(), 1u);
    EXPECT_THAT(sim->op.texts()[0], testing::HasSubstr("0106  " + parameterDescription(ctx.texts, 0x106) + ": "));
}
