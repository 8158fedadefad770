// Writing the report of one large parameter set: a parameter text of 4,000
// parameters, read back from its sealed parameter file as the conversion job
// reads it, with a descriptions file (parameters language file) of 16,000
// entries. The figure is the median of five writeReport calls, each one the
// whole report (composed, written to a temporary file, flushed to disk and
// renamed into place), in milliseconds.
//
//   report_write [work folder]
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "GeneratedInputs.h"
#include "PacedSession.h"
#include "Timing.h"
#include "WorkFolder.h"
#include "session/AppContext.h"
#include "files/AtomicFile.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "texts/TextTable.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const char* name = "report: 4,000 parameters, 16,000 descriptions";
    constexpr unsigned Parameters = 4000;
    constexpr unsigned Descriptions = 16000;

    std::error_code ec;
    fs::path folder = bench::freshFolder(argc, argv, "report");
    bench::SilentOperator op;
    DeviceLink noDevice;
    AppContext ctx(noDevice, &op);

    std::vector<bench::LanguageEntry> entries;
    for (unsigned i = 0; i < Descriptions; ++i) entries.push_back({bench::parameterNumber(i), bench::description(i)});
    std::string descriptions = (folder / "parameters.bench").string();
    std::ofstream(descriptions, std::ios::binary) << bench::languageFile(entries);
    ctx.texts.messages.Load(FS_DIST_DIR "/messages.eng");
    if (!ctx.texts.parameters.Load(descriptions)) {
        bench::missing(name, "cannot load " + descriptions);
        return 1;
    }

    std::string parameterFile = (folder / "large.NFO").string();
    MemoryStream text;
    text.write(bench::parameterText("PUMPCTRL", Parameters));
    MemoryStream stream;
    if (!writeSealedFile(ctx, parameterFile, text) || !readSealedFile(ctx, parameterFile, stream)) {
        bench::missing(name, "cannot write and read back " + parameterFile);
        return 1;
    }

    std::vector<double> ms;
    for (int run = 0; run < 5; ++run) {
        auto start = std::chrono::steady_clock::now();
        if (!writeReport(ctx, parameterFile, stream, true)) {
            bench::missing(name, "writeReport failed");
            return 1;
        }
        ms.push_back(bench::secondsSince(start) * 1000.0);
    }
    std::string report;
    readWholeFile((folder / "large.DOC").string(), report, 64u << 20);
    // A parameter row starts "   |0100    |".
    size_t rows = 0;
    for (size_t at = report.find("\r\n   |"); at != std::string::npos; at = report.find("\r\n   |", at + 1)) {
        bool number = at + 15 <= report.size() && report.compare(at + 10, 5, "    |") == 0;
        for (size_t i = at + 6; number && i < at + 10; ++i) number = std::isxdigit(static_cast<unsigned char>(report[i]));
        if (number) ++rows;
    }
    std::sort(ms.begin(), ms.end());
    std::fprintf(stderr, "report_write: %zu bytes, %zu parameter rows; runs %.1f .. %.1f ms\n", report.size(), rows,
                 ms.front(), ms.back());
    fs::remove_all(folder, ec);
    if (rows != Parameters) {
        bench::missing(name, "the report holds " + std::to_string(rows) + " parameter rows");
        return 1;
    }
    return bench::figure(name, ms[ms.size() / 2], "ms", bench::Goal::AtMost, 50, 1) ? 0 : 1;
}
