#pragma once
// The device panel as a widget: it shows the image its frame rendered, and
// tells a screen reader the rows that image shows. Each row is read as a
// read-only field named by its caption and its value ("Status: No fault,
// 0000"); a row whose value changes is announced as it changes.
#include <QWidget>
#include <functional>
#include <vector>

#include "app/PanelRows.h"

class PanelView : public QWidget {
    Q_OBJECT
public:
    PanelView(QWidget* parent, std::function<void()> paint, std::function<void()> resized);

    // The rows the image shows now: none without a device. A changed row
    // is announced to assistive technology.
    void setRows(std::vector<PanelRow> rows);
    const std::vector<PanelRow>& rows() const { return rows_; }
    // Where row lies in the panel.
    QRect rowRect(int row) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    std::function<void()> paint_;
    std::function<void()> resized_;
    std::vector<PanelRow> rows_;
};

// What a screen reader says of a row: its caption and, in words, its value.
QString spokenPanelRow(const PanelRow& row);
