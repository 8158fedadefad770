#pragma once
// A screen reader names a control by its accessible name. Buttons and check
// boxes have their caption; a field is named by the label it stands beside
// (its buddy, else the label to its left on the same row, else the one just
// above it), else by the frame it sits in, else by the window.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>
#include <cstdlib>

#include "widgets/TabOrderQt.h"

// A caption as read aloud: without its Alt marks and its key hint.
inline QString spokenCaption(QString caption) {
    caption = caption.section(QLatin1Char('\t'), 0, 0);
    QString spoken;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) ++i;
        spoken += caption[i];
    }
    return spoken.simplified();
}

inline QString besideLabel(QWidget* window, QWidget* control) {
    const QRect at(control->mapTo(window, QPoint(0, 0)), control->size());
    QLabel* best = nullptr;
    int bestDistance = 0;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->window() != window || label->text().isEmpty() || label->buddy() || !label->isVisibleTo(window))
            continue;
        const QRect l(label->mapTo(window, QPoint(0, 0)), label->size());
        int distance = -1;
        if (l.right() <= at.left() + 2 && l.bottom() >= at.top() && l.top() <= at.bottom())
            distance = at.left() - l.right();   // on its left, same row
        else if (l.bottom() <= at.top() + 2 && std::abs(l.left() - at.left()) <= 2 * l.height() &&
                 at.top() - l.bottom() <= 2 * l.height())
            distance = at.top() - l.bottom();   // just above it, lined up on its left
        if (distance >= 0 && (!best || distance < bestDistance)) {
            best = label;
            bestDistance = distance;
        }
    }
    return best ? spokenCaption(best->text()) : QString();
}

// The title of the smallest frame around control (a frame need not be its parent).
inline QString frameAround(QWidget* window, QWidget* control) {
    // A frame the control sits in needs no geometry, which a window not yet
    // shown may not have laid out.
    for (QWidget* up = control->parentWidget(); up && up != window; up = up->parentWidget())
        if (auto* frame = qobject_cast<QGroupBox*>(up); frame && !frame->title().isEmpty())
            return spokenCaption(frame->title());
    const QRect at(control->mapTo(window, QPoint(0, 0)), control->size());
    QGroupBox* best = nullptr;
    for (QGroupBox* frame : window->findChildren<QGroupBox*>()) {
        const QRect f(frame->mapTo(window, QPoint(0, 0)), frame->size());
        if (frame->window() == window && !frame->title().isEmpty() && f.contains(at) &&
            (!best || best->width() * best->height() > f.width() * f.height()))
            best = frame;
    }
    return best ? spokenCaption(best->title()) : QString();
}

// Names every frame, and every control of window that Tab stops at, that
// has no name yet.
inline void nameControlsForScreenReaders(QWidget* window) {
    // A frame is read by its own title, not by the frame around it.
    for (QGroupBox* frame : window->findChildren<QGroupBox*>())
        if (frame->accessibleName().isEmpty() && !frame->title().isEmpty())
            frame->setAccessibleName(spokenCaption(frame->title()));
    for (QWidget* control : tabStops(window)) {
        if (!control->accessibleName().isEmpty()) continue;
        QString name;
        if (auto* button = qobject_cast<QAbstractButton*>(control)) name = spokenCaption(button->text());
        if (name.isEmpty())
            for (QLabel* label : window->findChildren<QLabel*>())
                if (label->buddy() == control) name = spokenCaption(label->text());
        if (name.isEmpty()) name = besideLabel(window, control);
        if (name.isEmpty()) name = frameAround(window, control);
        if (name.isEmpty()) name = spokenCaption(window->windowTitle());
        control->setAccessibleName(name);
    }
}
