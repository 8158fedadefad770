#include "app/ui/PanelView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <map>

#include "app/PanelLayout.h"
#include "widgets/ShellTextQt.h"

namespace {

// One row of the panel: a read-only field without a widget of its own.
class PanelRowAccessible : public QAccessibleInterface {
public:
    PanelRowAccessible(PanelView* panel, int row) : panel_(panel), row_(row) {}
    bool isValid() const override { return !panel_.isNull() && row_ < int(panel_->rows().size()); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return panel_ ? panel_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(panel_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.readOnly = true;
        s.invisible = !isValid() || !panel_->isVisible();
        return s;
    }
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect local = panel_->rowRect(row_);
        return QRect(panel_->mapToGlobal(local.topLeft()), local.size());
    }
    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        const PanelRow& row = panel_->rows()[size_t(row_)];
        switch (t) {
        case QAccessible::Name: return spokenPanelRow(row);
        case QAccessible::Description: return shellText(row.label);
        case QAccessible::Value: return shellText(row.spoken.empty() ? row.value : row.spoken);
        default: return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

private:
    QPointer<PanelView> panel_;
    int row_;
};

// The panel: a group of its rows, registered once each and dropped with it.
class PanelAccessible : public QAccessibleWidget {
public:
    explicit PanelAccessible(PanelView* panel) : QAccessibleWidget(panel, QAccessible::Grouping) {}
    ~PanelAccessible() override {
        for (auto& [row, id] : ids_) QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return int(view()->rows().size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        auto it = ids_.find(index);
        if (it == ids_.end())
            it = ids_.emplace(index, QAccessible::registerAccessibleInterface(
                                         new PanelRowAccessible(view(), index))).first;
        return QAccessible::accessibleInterface(it->second);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [row, id] : ids_)
            if (QAccessible::accessibleInterface(id) == child) return row;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i)
            if (child(i)->rect().contains(x, y)) return child(i);
        return nullptr;
    }

private:
    PanelView* view() const { return static_cast<PanelView*>(widget()); }
    mutable std::map<int, QAccessible::Id> ids_;
};

QAccessibleInterface* panelAccessibleFactory(const QString&, QObject* object) {
    if (auto* panel = qobject_cast<PanelView*>(object)) return new PanelAccessible(panel);
    return nullptr;
}

}  // namespace

QString spokenPanelRow(const PanelRow& row) {
    return shellText(row.label) + QStringLiteral(": ") + shellText(row.spoken.empty() ? row.value : row.spoken);
}

PanelView::PanelView(QWidget* parent, std::function<void()> paint, std::function<void()> resized)
    : QWidget(parent), paint_(std::move(paint)), resized_(std::move(resized)) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(panelAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setObjectName(QStringLiteral("panel"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PanelView::setRows(std::vector<PanelRow> rows) {
    const bool sameRows = rows.size() == rows_.size();
    std::vector<size_t> changed;
    for (size_t i = 0; sameRows && i < rows.size(); ++i)
        if (rows[i].value != rows_[i].value || rows[i].label != rows_[i].label) changed.push_back(i);
    rows_ = std::move(rows);
    if (!QAccessible::isActive()) return;
    QAccessibleInterface* self = QAccessible::queryAccessibleInterface(this);
    if (!self) return;
    if (!sameRows) {
        // Rows came (a device connected) or went: the reader looks at the panel afresh.
        QAccessibleEvent reorder(self, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
        return;
    }
    for (size_t i : changed) {
        QAccessibleInterface* row = self->child(int(i));
        if (!row) continue;
        QAccessibleEvent named(row, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&named);
        QAccessibleValueChangeEvent value(row, row->text(QAccessible::Value));
        QAccessible::updateAccessibility(&value);
    }
}

QRect PanelView::rowRect(int row) const {
    const int top = panelRowTop(row);
    return QRect(0, top, width(), panelRowTop(row + 1) - top);
}

void PanelView::paintEvent(QPaintEvent*) { paint_(); }
void PanelView::resizeEvent(QResizeEvent*) { resized_(); }
