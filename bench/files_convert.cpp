// The conversion job over a folder of parameter files: the real program,
// `fieldservice /c '<folder>/*.NFO'`, run without a display from its
// installation directory, on 1,000 parameter files of 300 parameters each.
// Figures: files converted per second (wall time of the whole process,
// start-up and the final flush of the reports included) and the converter's
// peak resident memory.
//
// The folder lies under the build directory, on the disk the work is done
// on: a folder in memory would hide what writing to disk costs.
//
//   files_convert [work folder] [files] [installation directory]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchTable.h"
#include "GeneratedInputs.h"
#include "Timing.h"
#include "WorkFolder.h"
#include "support/ChildProcess.h"
#include "files/AtomicFile.h"
#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    int count = argc > 2 ? std::atoi(argv[2]) : 1000;
    std::string install = argc > 3 ? argv[3] : FS_DIST_DIR;
    const char* rateName = "convert /c: 1,000 files";
    const char* memoryName = "convert /c: peak resident memory";
    if (count <= 0) count = 1000;

    std::error_code ec;
    fs::path folder = bench::freshFolder(argc, argv, "convert");
    DeviceLink noDevice;
    AppContext ctx(noDevice);

    // One sealed parameter file, copied under every name: the job reads and
    // converts each one as if they all differed.
    std::string first = (folder / "unit0000.NFO").string();
    {
        MemoryStream text;
        text.write(bench::parameterText("PUMPCTRL", 300));
        if (!writeSealedFile(ctx, first, text)) {
            bench::missing(rateName, "cannot write " + first);
            return 1;
        }
        fs::remove(folder / "unit0000.DOC", ec);
    }
    std::string sealed;
    readWholeFile(first, sealed, 1 << 20);
    for (int i = 1; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "unit%04d.NFO", i);
        std::ofstream(folder / name, std::ios::binary) << sealed;
    }

    Child converter;
    ChildOptions how;
    how.workingDirectory = install;
    how.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    how.stderrFile = (bench::workFolder(argc, argv) / "convert-stderr.txt").string();
    auto start = std::chrono::steady_clock::now();
    if (!converter.start({install + "/fieldservice", "/c", folder.string() + "/*.NFO"}, how)) {
        bench::missing(rateName, "cannot start the program");
        return 1;
    }
    if (!converter.wait(600000)) {
        converter.stop();
        bench::missing(rateName, "the job did not end within 10 minutes");
        return 1;
    }
    double seconds = bench::secondsSince(start);

    int reports = 0, temporaries = 0, parameterFiles = 0;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name[0] == '.') ++temporaries;
        else if (entry.path().extension() == ".DOC" && entry.file_size() > 0) ++reports;
        else if (entry.path().extension() == ".NFO") ++parameterFiles;
    }
    std::fprintf(stderr,
                 "files_convert: %d parameter files, %d reports, %d temporary files left, exit status %d, "
                 "%.3f s\n",
                 parameterFiles, reports, temporaries, WIFEXITED(converter.status) ? WEXITSTATUS(converter.status) : -1,
                 seconds);
    fs::remove_all(folder, ec);
    if (!converter.exitedWith(0) || reports != count || temporaries != 0) {
        bench::missing(rateName, "the job failed (see " + how.stderrFile + ")");
        return 1;
    }
    bool ok = bench::figure(rateName, count / seconds, "files/s", bench::Goal::AtLeast, 500, 0);
    ok = bench::figure(memoryName, converter.peakMiB(), "MiB", bench::Goal::AtMost, 64, 1) && ok;
    return ok ? 0 : 1;
}
