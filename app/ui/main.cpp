// The program: the interactive service tool with its main window, or one
// batch job from the command line ("/c files" or "/l file").
#include <QApplication>
#include <QTimer>
#include <iostream>

#include "session/AppContext.h"
#include "app/Application.h"
#include "app/BatchJobs.h"
#include "app/BatchPattern.h"
#include "app/BusJobs.h"
#include "app/CommandLine.h"
#include "app/Installation.h"
#include "app/ui/MainFrame.h"
#include "app/MenuTable.h"
#include "link/DeviceLink.h"
#include "session/PlantSender.h"
#include "session/ServiceJournal.h"

int main(int argc, char** argv) {
    const CommandLine args = parseCommandLine(argc, argv);
    switch (args.action) {
    case CommandLine::Action::Help:
        std::cout << usageText();
        return 0;
    case CommandLine::Action::Version:
        std::cout << versionLine() << '\n';
        return 0;
    case CommandLine::Action::BadUsage:
        std::cerr << "fieldservice: " << args.error << "\n\n" << usageText();
        return 2;
    case CommandLine::Action::History: return runHistoryCommand(args.historyDevice, args.historyCsv);
    case CommandLine::Action::HistorySync: return runHistorySyncCommand();
    case CommandLine::Action::Run: break;
    }
    const std::string& commandLine = args.line;
    // Several buses at once run without windows, display or not: the window
    // works with one device at a time.
    if (args.onSeveralBuses() && parseBatchCommandLine(commandLine).kind != BatchKind::Convert)
        return runBusJobs(args);
    const DeviceChoice choice{args.address, args.deviceName};
    if (!displayAvailable()) return runWithoutDisplay(commandLine, args.port, choice);

    QApplication application(argc, argv);
    // The device link goes last; its destruction closes the port.
    DeviceLink link;
    AppContext ctx(link);
    ServiceJournal journal;
    ctx.journal = &journal;
    // Declared after the journal: its thread ends (within a bound) first.
    PlantSender plant;
    ctx.plant = &plant;
    if (!InitInstallation(ctx.settings)) return 1;
    ctx.settings.portOverride = args.port;
    useSettingsPorts(link, ctx.settings);

    int status = 0;
    {
        // Creating the window loads the installation; its failures have been shown.
        MainFrame mainFrame(ctx);
        // What waits for the plant's server goes at start-up, in the background.
        plant.poke();
        if (hasBatchOption(commandLine)) {
            // A job shows its message boxes and progress window, never the main window.
            status = runBatchJob(ctx, commandLine, choice);
        } else if (!ctx.settings.installationLoaded) {
            status = 1;
        } else {
            mainFrame.show();
            if (ctx.settings.connectOnStartup)
                QTimer::singleShot(0, &mainFrame, [&mainFrame] { mainFrame.dispatch(CMD_CONNECT); });
            application.exec();
            status = 0;
        }
    }
    return status;
}
