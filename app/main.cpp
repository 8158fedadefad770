// The program: the interactive service tool with its main window, or one
// batch job from the command line ("/c files" or "/l file").
#include <QApplication>
#include <QTimer>

#include "app/AppState.h"
#include "app/Application.h"
#include "app/BatchJobs.h"
#include "app/Installation.h"
#include "app/MainFrame.h"
#include "app/MenuTable.h"
#include "link/DeviceLink.h"

int main(int argc, char** argv) {
    const std::string commandLine = commandLineFromArgs(argc, argv);
    if (!displayAvailable()) return runWithoutDisplay(commandLine);

    QApplication application(argc, argv);
    if (!InitInstallDirectory()) return 1;
    std::unique_ptr<DeviceLink> link = createDeviceLink();
    setDeviceLink(link.get());

    int status = 0;
    {
        // Creating the window loads the installation; its failures have been shown.
        MainFrame mainFrame;
        if (hasBatchOption(commandLine)) {
            // A job shows its message boxes and progress window, never the main window.
            status = runBatchJob(commandLine);
        } else if (!appState().installationLoaded) {
            status = 1;
        } else {
            mainFrame.show();
            if (appState().connectOnStartup)
                QTimer::singleShot(0, &mainFrame, [&mainFrame] { mainFrame.dispatch(CMD_CONNECT); });
            application.exec();
            status = 0;
        }
    }
    // The device link goes last; its destruction closes the port.
    link.reset();
    setDeviceLink(nullptr);
    return status;
}
