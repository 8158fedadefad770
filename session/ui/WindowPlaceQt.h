#pragma once
// A resizable window of the program remembers its size and place in the
// user's state file under its key (see session/WindowPlaces.h).
#include <QWidget>
#include <string>

#include "session/AppContext.h"
#include "session/WindowPlaces.h"
#include "widgets/WindowGeometryQt.h"

// Call once the window has its opening size. The settings outlive every window.
inline void keepWindowPlace(QWidget* window, const AppContext& ctx, const std::string& key) {
    const Settings* settings = &ctx.settings;
    new WindowGeometry(window, key,
                       WindowPlaceStore{[settings](const std::string& k) { return windowPlace(*settings, k); },
                                        [settings](const std::string& k, const std::string& v) {
                                            rememberWindowPlace(*settings, k, v);
                                        }});
}
