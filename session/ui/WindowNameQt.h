#pragma once
// A screen reader announces a window by its accessible name, so that name
// says what the window is and, while a device is connected, which device it
// works on ("Parameter table — PUMPCTRL 01"). The title bar keeps the
// caption the program always showed.
#include <QChar>
#include <QString>
#include <QWidget>
#include <cstdio>

#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "widgets/AccessibleNamesQt.h"
#include "widgets/ShellTextQt.h"

// "PUMPCTRL 01", or empty without a connected device.
inline QString connectedDevice(const DeviceLink& link) {
    const std::string name = link.Name();
    if (name.empty()) return {};
    char address[8];
    std::snprintf(address, sizeof address, "%02x", static_cast<unsigned>(link.Address()));
    return shellText(name) + QLatin1Char(' ') + QLatin1String(address);
}

// what: a text number, a menu caption ("Parameter &table...") as well as a frame's title.
inline QString windowName(const AppContext& ctx, uint32_t what) {
    QString name = spokenCaption(shellText(ctx.message(what)));
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(':'))) name.chop(1);
    const QString device = connectedDevice(ctx.link);
    if (!device.isEmpty()) name += QStringLiteral(" \u2014 ") + device;
    return name;
}

inline void nameWindow(QWidget* window, const AppContext& ctx, uint32_t what) {
    window->setAccessibleName(windowName(ctx, what));
}
