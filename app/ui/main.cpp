// The program: the interactive service tool with its main window, or one
// batch job from the command line ("/c files" or "/l file").
#include <QApplication>
#include <QTimer>

#include "session/AppContext.h"
#include "app/Application.h"
#include "app/BatchJobs.h"
#include "app/Installation.h"
#include "app/ui/MainFrame.h"
#include "app/MenuTable.h"
#include "link/DeviceLink.h"

int main(int argc, char** argv) {
    const std::string commandLine = commandLineFromArgs(argc, argv);
    if (!displayAvailable()) return runWithoutDisplay(commandLine);

    QApplication application(argc, argv);
    // The device link goes last; its destruction closes the port.
    DeviceLink link;
    AppContext ctx(link);
    if (!InitInstallDirectory(ctx.settings)) return 1;
    usePortDevices(link, ctx.settings);

    int status = 0;
    {
        // Creating the window loads the installation; its failures have been shown.
        MainFrame mainFrame(ctx);
        if (hasBatchOption(commandLine)) {
            // A job shows its message boxes and progress window, never the main window.
            status = runBatchJob(ctx, commandLine);
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
