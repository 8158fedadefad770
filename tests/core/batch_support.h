#pragma once
// Shared setup of the batch job tests: a temporary directory, a recording
// operator, message texts that name their own number ("text 19"), and the
// current directory put back after every test whatever the job did.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "support/Support.h"
#include "texts/TextTable.h"

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        startDir = std::filesystem::current_path();
        std::string table;
        for (unsigned n : {2u, 3u, 4u, 19u, 769u, 770u, 1056u, 1057u, 1061u, 1062u, 32780u,
                           32781u, 32783u, 32784u, 32786u, 32788u, 33040u, 33072u, 33073u, 33074u,
                           33075u, 33076u, 33079u, 33080u, 0x811Bu, 33292u, 33293u, 33029u, 33200u, 33201u,
                           33202u, 33203u, 33204u, 33205u, 33206u, 33207u, 33208u, 33209u, 33210u}) {
            char entry[64];
            std::snprintf(entry, sizeof entry, "%X>text %u<END>\n", n, n);
            table += entry;
        }
        texts.write("messages.test", table);
        ASSERT_TRUE(ctx.texts.messages.Load(texts.file("messages.test")));
        ctx.settings.windowTitle = "fieldservice v1.10";
    }
    void TearDown() override {
        std::filesystem::current_path(startDir);
    }

    // A parameter text as a save writes it.
    static std::string parameterText(const std::string& name) {
        return "#DATE: 07-06-2008  \n#NAME: " + name +
               "  \n#ADDR: 5  \n#VER.: 1  \n#REL.: 2  \n#PVER: 3  \n#PSWD: 0  "
               "\n#FREE: 100\n#CODE: 100  #DATA: 42  \n#CODE: 102  #DATA: ON  ";
    }

    TempDir dir;
    TempDir texts;
    RecordingOperator op;
    std::filesystem::path startDir;
    DeviceLink noDevice;            // the load tests give the job a bus of their own
    AppContext ctx{noDevice, &op};
};
