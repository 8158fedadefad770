#pragma once
// Tab moves through a window's controls in reading order: row by row from
// the top, left to right within a row, whatever order the controls were
// made in. Controls that sit inside another control that takes the focus
// (the editor of a spin box, the viewport of a table) are its own business.
#include <QAbstractItemView>
#include <QLayout>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <algorithm>
#include <vector>

// The controls Tab stops at in window, each with its place in the window.
inline std::vector<QWidget*> tabStops(QWidget* window) {
    std::vector<QWidget*> stops;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->window() != window || !(w->focusPolicy() & Qt::TabFocus) || w->focusProxy()) continue;
        bool inner = false;
        for (QWidget* up = w->parentWidget(); up && up != window; up = up->parentWidget())
            if (up->focusPolicy() & Qt::TabFocus) inner = true;
        if (!inner) stops.push_back(w);
    }
    return stops;
}

// The controls in reading order. A control joins the row of the one above
// it when its middle lies within that control's height.
inline std::vector<QWidget*> inReadingOrder(QWidget* window, std::vector<QWidget*> controls) {
    auto place = [window](QWidget* w) { return QRect(w->mapTo(window, QPoint(0, 0)), w->size()); };
    std::stable_sort(controls.begin(), controls.end(),
                     [&](QWidget* a, QWidget* b) { return place(a).top() < place(b).top(); });
    std::vector<QWidget*> ordered;
    for (size_t i = 0; i < controls.size();) {
        const QRect first = place(controls[i]);
        size_t end = i + 1;
        while (end < controls.size() && place(controls[end]).center().y() <= first.bottom()) ++end;
        std::stable_sort(controls.begin() + long(i), controls.begin() + long(end),
                         [&](QWidget* a, QWidget* b) { return place(a).left() < place(b).left(); });
        ordered.insert(ordered.end(), controls.begin() + long(i), controls.begin() + long(end));
        i = end;
    }
    return ordered;
}

// Call once the window's controls are made and sized. Tab also leaves
// tables and text areas: arrows move within them, and no text here wants a
// tab character.
inline void tabInReadingOrder(QWidget* window) {
    if (window->layout()) window->layout()->activate();
    const std::vector<QWidget*> order = inReadingOrder(window, tabStops(window));
    for (QWidget* w : order) {
        if (auto* view = qobject_cast<QAbstractItemView*>(w)) view->setTabKeyNavigation(false);
        if (auto* text = qobject_cast<QPlainTextEdit*>(w)) text->setTabChangesFocus(true);
        if (auto* text = qobject_cast<QTextEdit*>(w)) text->setTabChangesFocus(true);
    }
    for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}
