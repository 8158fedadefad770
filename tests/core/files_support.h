#pragma once
// Shared setup of the parameter file tests: a temporary directory, a
// recording operator, message texts of our own (small fixtures in
// tests/golden/, so the shipped wording can change), a fixed date and a fixed
// seed, all put back after every test.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "session/AppContext.h"
#include "files/LocalDate.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "platform/Clock.h"
#include "support/SimFixture.h"
#include "support/Support.h"
#include "texts/TextTable.h"

inline std::string goldenPath(const std::string& name) { return std::string(FS_SOURCE_DIR) + "/tests/golden/" + name; }

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

inline MemoryStream streamOf(const std::string& text) {
    MemoryStream s;
    s.write(text);
    return s;
}

// Compares with a golden file; FS_UPDATE_GOLDEN=1 writes it instead (look at
// the result line by line before committing it).
inline void expectGolden(const std::string& name, const std::string& actual) {
    if (std::getenv("FS_UPDATE_GOLDEN")) {
        std::ofstream(goldenPath(name), std::ios::binary) << actual;
        return;
    }
    EXPECT_EQ(readFile(goldenPath(name)), actual) << "differs from tests/golden/" << name;
}

// The seed every test file is sealed with unless a test says otherwise.
inline constexpr int64_t TEST_TICKS = 0x0000000112345678LL;   // seed 0x12345679

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctx.settings.windowTitle = "Field Service v1.10";
        ctx.settings.installDirectory = dir.path();
        ASSERT_TRUE(ctx.texts.messages.Load(goldenPath("files-messages.txt")));
        ASSERT_TRUE(ctx.texts.parameters.Load(goldenPath("files-parameters.txt")));
        setLocalDateSource([] { return LocalDate{7, 6, 2008}; });
        ctx.seedClock = std::make_shared<FixedClock>(TEST_TICKS);
    }
    void TearDown() override { setLocalDateSource(nullptr); }
    // A bus's context with this test's settings, texts and seed clock.
    AppContext& on(SimFixture& bus) {
        bus.ctx.settings = ctx.settings;
        bus.ctx.texts = ctx.texts;
        bus.ctx.seedClock = ctx.seedClock;
        return bus.ctx;
    }

    TempDir dir;
    RecordingOperator op;
    DeviceLink noDevice;            // files without a bus never reach it
    AppContext ctx{noDevice, &op};
};

// The files fixture with a simulated bus; connect puts a fresh one in place.
class FilesOnBusTest : public FilesTest {
protected:
    void connect(const char* bus, uint8_t address) {
        sim.reset();
        sim = std::make_unique<SimFixture>(SimFixture::fromText, bus);
        on(*sim);   // the same texts, the same seed
        ASSERT_TRUE(sim->connect(address)) << sim->error;
        sim->op.clear();
    }
    void TearDown() override {
        sim.reset();
        FilesTest::TearDown();
    }
    std::unique_ptr<SimFixture> sim;
};

// A recording operator that also runs a step when a progress window with a
// given caption opens: the place to break the line between two passes.
class HookedOperator : public RecordingOperator {
public:
    std::string caption;
    std::function<void()> onShow;
    void ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& text) override {
        RecordingOperator::ShowProgress(counter, maximum, text);
        if (onShow && text == caption) onShow();
    }
};
