#pragma once
// A column is never narrower than its caption in the language shown: the
// caption, the sort arrow and the style's margins ("Numbe" cut no more).
// Call once the view sorts (the arrow takes room) and after widths are set.
#include <QHeaderView>
#include <QTableView>

inline void fitColumnsToCaptions(QTableView* view) {
    QHeaderView* header = view->horizontalHeader();
    for (int c = 0; c < header->count(); ++c) {
        if (header->sectionResizeMode(c) != QHeaderView::Interactive) continue;
        const int needed = header->sectionSizeHint(c);
        if (view->columnWidth(c) < needed) view->setColumnWidth(c, needed);
    }
}
