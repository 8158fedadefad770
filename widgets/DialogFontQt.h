#pragma once
// The bold font of the device dialogs' big fields. The family the dialogs were
// drawn for does not exist here; the application's own sans-serif family
// takes its place. Heights are pixel heights, as the dialog layouts expect.

#include <QApplication>
#include <QFont>

inline QFont boldDialogFont(int pixelHeight) {
    QFont font = QApplication::font();
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Bold);   // 700
    font.setPixelSize(pixelHeight);
    return font;
}
