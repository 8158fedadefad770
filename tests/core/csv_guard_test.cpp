// Every CSV the program writes (the parameter table, the comparison, the
// service history of --history --csv, the bus monitor's log): a field that a
// spreadsheet would take for a formula comes out inert, a leading apostrophe
// before its readable text; times carry their UTC offset.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/HistoryPrint.h"
#include "files/Compare.h"
#include "link/BusMonitor.h"
#include "params/CsvFile.h"
#include "params/ParameterTable.h"
#include "session/ServiceJournal.h"
#include "support/SimFixture.h"
#include "support/Support.h"
#include "texts/TextTable.h"

namespace {

constexpr int64_t AnHourInDecember = 1796917217;   // 2026-12-10 15:40:17 UTC

std::string messagesFile() { return FS_SOURCE_DIR "/install/messages.eng"; }

// The parameter table: the hostile text is a parameter's description.
std::string parameterTableCsv(const std::string& hostile) {
    TempDir dir;
    dir.write("parameters.eng", "0100>" + hostile + "<END>\n0102>" + hostile + "<END>\n");
    SimFixture fx(SimFixture::fromText, "device 1 PUMP\n param 0100 4 1000\n param 0102 onoff on\n end 0104\n");
    fx.ctx.texts.messages.Load(messagesFile());
    fx.ctx.texts.parameters.Load(dir.file("parameters.eng"));
    if (!fx.connect(1)) return "no device";
    ParameterTable table(fx.ctx);
    table.read();
    table.setValueText(0, "12");
    return table.csv();
}

// The comparison: the hostile text is a device name, a file name and a value
// the file holds that the load would refuse.
std::string comparisonCsvOf(const std::string& hostile) {
    LanguageTexts texts;
    texts.messages.Load(messagesFile());
    Comparison c;
    c.leftName = "Device";
    c.rightName = hostile;
    c.identity = {{0x81A2, hostile, "PUMP02", true}};
    c.rows = {{0x102, ComparedValue{1, true, {}}, ComparedValue{0, false, hostile}},
              {0x104, ComparedValue{55, false, {}}, std::nullopt}};
    return comparisonCsv(texts, c);
}

// fieldservice --history --csv: the hostile text is the device's name, the
// user, host and port, the file, its seal and backup and the details.
std::string historyCsv(const std::string& hostile) {
    TempDir dir;
    ServiceJournal journal(dir.file("history.sqlite"));
    JournalStart start;
    start.operation = JournalOperation::Save;
    start.device = {0x12, hostile, 1, 0, 1, -1, -1};
    start.time = AnHourInDecember;
    start.user = start.host = start.port = start.file = hostile;
    const int64_t id = journal.begin(start);
    if (id == 0) return "no journal";
    JournalEnd end;
    end.outcome = JournalOutcome::Done;
    end.time = AnHourInDecember + 5;
    end.file = end.seal = end.backup = end.detail = hostile;
    journal.end(id, end);
    RecordingOperator op;
    DeviceLink link;
    AppContext ctx(link, &op);
    ctx.texts.messages.Load(messagesFile());
    ctx.journal = &journal;
    std::ostringstream out;
    if (printHistory(ctx, "", true, out) != 0) return "not printed";
    return out.str();
}

// The bus monitor's log saved as .csv: the hostile text is every word of the
// language file it uses (columns, kinds, outcomes, register names); a read
// that timed out shows "--".
std::string busMonitorCsv(const std::string& hostile) {
    BusMonitorLog log;
    BusRecorder& recorder = log.recorder();
    recorder.start(0, 1000);
    BusTransaction read;
    read.kind = BusKind::Read;
    read.target = 0x0100;
    read.attempt = 1;
    read.error = 1;
    recorder.record(read, 5);
    BusTransaction select;
    select.kind = BusKind::Select;
    select.target = 0x12;
    select.attempt = 1;
    recorder.record(select, 7);
    log.pull();
    BusWords words;
    for (std::string& w : words.kinds) w = hostile;
    for (std::string& w : words.columns) w = hostile;
    for (std::string& w : words.words) w = hostile;
    for (std::string& w : words.registers) w = hostile;
    std::FILE* f = std::tmpfile();
    if (!f) return "no file";
    std::string text;
    if (log.writeCsv(f, words)) {
        std::rewind(f);
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    }
    std::fclose(f);
    return text;
}

struct Exporter {
    const char* name;
    std::function<std::string(const std::string&)> write;
    int timeColumn;   // a column of times, -1: none
};

const Exporter Exporters[] = {
    {"parameterTable", parameterTableCsv, -1},
    {"comparison", comparisonCsvOf, -1},
    {"history", historyCsv, 0},
    {"busMonitor", busMonitorCsv, -1},
};

// What a spreadsheet would run or take for a formula: the device name of
// the brief, and a field beginning with each character that starts one.
const char* const Hostile[] = {"=cmd|' /C calc'!A0", "+SUM(1,2)", "-2+3", "@SUM(A1:A2)", "\t=1+1", "\r=1+1"};

class CsvGuard : public ::testing::TestWithParam<std::tuple<int, int>> {};

// The hostile text is there, readable, and each time after its apostrophe
// (quoted or not); times have their offset.
TEST_P(CsvGuard, NoFieldIsAFormulaAndTheTextStaysReadable) {
    const Exporter& exporter = Exporters[std::get<0>(GetParam())];
    const std::string hostile = Hostile[std::get<1>(GetParam())];
    const std::string csv = exporter.write(hostile);
    size_t found = 0;
    for (size_t at = csv.find(hostile); at != std::string::npos; at = csv.find(hostile, at + 1), ++found)
        EXPECT_TRUE(at > 0 && csv[at - 1] == '\'') << csv;
    EXPECT_GT(found, 0u) << csv;
    if (exporter.timeColumn >= 0) {
        EXPECT_TRUE(std::regex_search(csv, std::regex(R"(\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d,)"))) << csv;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryExporter, CsvGuard,
                         ::testing::Combine(::testing::Range(0, int(std::size(Exporters))),
                                            ::testing::Range(0, int(std::size(Hostile)))),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                             return std::string(Exporters[std::get<0>(info.param)].name) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(CsvGuard, PlainFieldsAndNumbersStayAsTheyAre) {
    for (const char* plain : {"PUMP01", "1000", "", "a=b"}) EXPECT_EQ(csvField(plain), plain);
    EXPECT_EQ(csvField("=1,2"), "\"'=1,2\"");
}

// A zone with summer time, written out so that no time zone files are needed.
struct LocalZone {
    explicit LocalZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    ~LocalZone() {
        unsetenv("TZ");
        tzset();
    }
};

TEST(CsvTime, IsIso8601WithTheOffsetSoTheRepeatedHourReadsApart) {
    const LocalZone rome("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(csvTime(AnHourInDecember), "2026-12-10T16:40:17+01:00");
    // 25 October 2026: at 01:00 UTC the clocks go from 03:00 back to 02:00.
    const int64_t changeUtc = 1792890000;   // 2026-10-25 01:00:00 UTC
    EXPECT_EQ(csvTime(changeUtc - 1800), "2026-10-25T02:30:00+02:00");
    EXPECT_EQ(csvTime(changeUtc + 1800), "2026-10-25T02:30:00+01:00");
}

}  // namespace
