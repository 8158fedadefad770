#pragma once
// Application-wide state shared by the Parts: configuration, title, the one
// device link, the operator interface and the main window's state.

#include <cstdint>
#include <string>

#include "platform/Operator.h"

class DeviceLink;

inline constexpr const char* versionText = "v1.10";
inline constexpr const char* dateText = "Jun, 2008";

struct AppState {
    std::string installDirectory;   // current directory at start-up, no trailing "/"
    std::string profilePath;        // installDirectory + "/config.ini"
    std::string language;
    uint8_t serialPort = 1;
    bool connectOnStartup = false;
    std::string windowTitle;        // text 0 + " " + versionText
    std::string helpFilePath;       // installDirectory + "/help_" + language + ".hlp"
    bool installationLoaded = false;
};

AppState& appState();

// The main window's state used across Parts. MainFrame derives from it; batch
// jobs and tests use a plain instance.
class FrameState {
public:
    virtual ~FrameState() = default;
    bool deviceSelected = false;
    bool idle = true;
    uint32_t currentParameterNumber = 0x100;
    uint32_t lastStatus = 0;
    // Renders the device panel again (the Qt main window repaints; others do nothing).
    virtual void RenderPanel() {}
};

// The single device link, operator and frame. Start-up (or a test) installs
// them; they are never null once installed.
DeviceLink& deviceLink();
void setDeviceLink(DeviceLink* link);
Operator& ui();
void setOperator(Operator* op);
FrameState& frame();
void setFrame(FrameState* f);

// A message box with windowTitle as caption and text n of MessageTable.
void showText(uint32_t n, MessageIcon icon = MessageIcon::Exclamation);
// A Yes/No question with windowTitle as caption and text n of MessageTable.
bool askText(uint32_t n);
// ShowProgress with text n of MessageTable as caption.
void showProgressText(uint32_t* counter, uint32_t maximum, uint32_t n);
