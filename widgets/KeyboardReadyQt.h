#pragma once
// What every window does once its controls exist: Tab follows the layout,
// and every control has a name a screen reader can say.
#include "widgets/AccessibleNamesQt.h"
#include "widgets/TabOrderQt.h"

inline void readyForKeyboard(QWidget* window) {
    tabInReadingOrder(window);
    nameControlsForScreenReaders(window);
}
