#include "params/ui/ParameterTableDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "params/CsvFile.h"
#include "session/AppContext.h"
#include "texts/TextFill.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/ShellTextQt.h"

namespace {
constexpr uint32_t NUMBER_HEADER = 1025;
constexpr uint32_t DESCRIPTION_HEADER = 1030;
constexpr uint32_t VALUE_HEADER = 1032;
constexpr uint32_t EXPORT_TEXT = 33115;
constexpr uint32_t KIND_HEADER = 33118;
constexpr uint32_t ACCESS_HEADER = 33119;
constexpr uint32_t FILTER_TEXT = 33124;
constexpr uint32_t WRITE_TEXT = 33125;
constexpr uint32_t FRAME_TEXT = 33126;
constexpr uint32_t PARTIAL_TEXT = 33127;
constexpr uint32_t HELP_TEXT = 33133;
constexpr uint32_t COUNT_TEXT = 33134;
constexpr const char* HELP_ANCHOR = "table";
constexpr int MODEL_ROW_ROLE = Qt::UserRole + 1;
constexpr int SORT_ROLE = Qt::UserRole + 2;


// Sorts by the key it was given (numbers as numbers), not by the text shown.
class SortedItem : public QTableWidgetItem {
public:
    SortedItem(const QString& shown, const QVariant& key) : QTableWidgetItem(shown) { setData(SORT_ROLE, key); }
    bool operator<(const QTableWidgetItem& other) const override {
        const QVariant a = data(SORT_ROLE), b = other.data(SORT_ROLE);
        if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
            return a.toString().compare(b.toString(), Qt::CaseInsensitive) < 0;
        return a.toULongLong() < b.toULongLong();
    }
};
}  // namespace

ParameterTableDialog::ParameterTableDialog(AppContext& ctx, const HelpRequest& help, QWidget* parent)
    : QDialog(parent), ctx_(ctx), model_(ctx) {
    setObjectName(QStringLiteral("parameterTable"));
    setWindowTitle(shellText(ctx.settings.windowTitle) + QStringLiteral(" - ") + shellText(ctx.texts, FRAME_TEXT));
    resize(820, 520);
    auto* layout = new QVBoxLayout(this);

    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = new QLabel(shellText(ctx.texts, FILTER_TEXT), this);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->setClearButtonEnabled(true);
    filterLabel->setBuddy(filter_);
    connect(filter_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter_, 1);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("count"));
    filterRow->addWidget(count_);
    layout->addLayout(filterRow);

    partial_ = new QLabel(this);
    partial_->setObjectName(QStringLiteral("partial"));
    partial_->setTextFormat(Qt::PlainText);
    partial_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    partial_->hide();
    layout->addWidget(partial_);

    table_ = new QTableWidget(0, 5, this);
    table_->setObjectName(QStringLiteral("rows"));
    table_->setHorizontalHeaderLabels({shellText(ctx.texts, NUMBER_HEADER), shellText(ctx.texts, DESCRIPTION_HEADER), shellText(ctx.texts, VALUE_HEADER),
                                       shellText(ctx.texts, KIND_HEADER), shellText(ctx.texts, ACCESS_HEADER)});
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setSectionResizeMode(DescriptionColumn, QHeaderView::Stretch);
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    connect(table_, &QTableWidget::itemChanged, this, &ParameterTableDialog::valueEdited);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    write_ = new QPushButton(shellText(ctx.texts, WRITE_TEXT), this);
    write_->setObjectName(QStringLiteral("write"));
    write_->setEnabled(false);
    connect(write_, &QPushButton::clicked, this, &ParameterTableDialog::writeChanges);
    buttons->addWidget(write_);
    auto* exportButton = new QPushButton(shellText(ctx.texts, EXPORT_TEXT), this);
    exportButton->setObjectName(QStringLiteral("export"));
    connect(exportButton, &QPushButton::clicked, this, [this] { exportCsv(ctx_, model_.csv()); });
    buttons->addWidget(exportButton);
    buttons->addStretch(1);
    addHelpAndOk(this, buttons, shellText(ctx.texts, HELP_TEXT), help, HELP_ANCHOR);
    layout->addLayout(buttons);
    enterPressesFocusedButton(this);
}

bool ParameterTableDialog::start(const WalkOptions& options) {
    const WalkResult walked = model_.read(options);
    if (model_.rows().empty() && walked.end != WalkEnd::Complete) {
        model_.close();
        return false;
    }
    if (walked.end != WalkEnd::Complete) {
        partial_->setText(shellText(fillText(ctx_.message(PARTIAL_TEXT), {formatParameterNumber(walked.stoppedAt)})));
        partial_->show();
    }
    fillTable();
    return true;
}

void ParameterTableDialog::fillTable() {
    filling_ = true;
    table_->setSortingEnabled(false);
    const auto& rows = model_.rows();
    table_->setRowCount(static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const int r = static_cast<int>(i);
        const DeviceParameter& p = rows[i].parameter;
        auto* number = new SortedItem(shellText(model_.numberText(i)), QVariant::fromValue<qulonglong>(p.number));
        number->setData(MODEL_ROW_ROLE, QVariant::fromValue<qulonglong>(i));
        auto* description = new SortedItem(shellText(rows[i].description), shellText(rows[i].description));
        auto* value = new SortedItem(shellText(model_.valueText(i)), QVariant::fromValue<qulonglong>(rows[i].edited));
        value->setData(MODEL_ROW_ROLE, QVariant::fromValue<qulonglong>(i));
        auto* kind = new SortedItem(shellText(model_.kindText(i)),
                                    QVariant::fromValue<qulonglong>(p.onOff ? 0 : p.digits));
        auto* access = new SortedItem(shellText(model_.accessText(i)), QVariant::fromValue<qulonglong>(p.free ? 0 : 1));
        for (QTableWidgetItem* item : {static_cast<QTableWidgetItem*>(number), static_cast<QTableWidgetItem*>(description),
                                       static_cast<QTableWidgetItem*>(kind), static_cast<QTableWidgetItem*>(access)})
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        table_->setItem(r, NumberColumn, number);
        table_->setItem(r, DescriptionColumn, description);
        table_->setItem(r, ValueColumn, value);
        table_->setItem(r, KindColumn, kind);
        table_->setItem(r, AccessColumn, access);
    }
    table_->resizeColumnToContents(NumberColumn);
    table_->setSortingEnabled(true);
    table_->sortByColumn(NumberColumn, Qt::AscendingOrder);
    filling_ = false;
    applyFilter();
}

void ParameterTableDialog::applyFilter() {
    const std::string filter = filter_->text().toStdString();
    int shown = 0;
    for (int r = 0; r < table_->rowCount(); ++r) {
        const size_t i = table_->item(r, NumberColumn)->data(MODEL_ROW_ROLE).toULongLong();
        const bool match = model_.matches(i, filter);
        table_->setRowHidden(r, !match);
        if (match) ++shown;
    }
    count_->setText(shellText(fillText(ctx_.message(COUNT_TEXT), {std::to_string(shown)})));
}

void ParameterTableDialog::valueEdited(QTableWidgetItem* item) {
    if (filling_ || item->column() != ValueColumn) return;
    const size_t i = item->data(MODEL_ROW_ROLE).toULongLong();
    filling_ = true;
    // The cell shows what the edit rules made of the typed text.
    const std::string shown = model_.setValueText(i, item->text().toStdString());
    table_->setSortingEnabled(false);
    item->setText(shellText(shown));
    item->setData(SORT_ROLE, QVariant::fromValue<qulonglong>(model_.rows()[i].edited));
    showRowState(item->row(), i);
    table_->setSortingEnabled(true);
    filling_ = false;
    write_->setEnabled(model_.changedCount() > 0);
}

void ParameterTableDialog::showRowState(int tableRow, size_t modelRow) {
    QTableWidgetItem* value = table_->item(tableRow, ValueColumn);
    QFont font = value->font();
    font.setBold(model_.rows()[modelRow].changed());
    value->setFont(font);
}

void ParameterTableDialog::writeChanges() {
    model_.writeChanges();
    filling_ = true;
    for (int r = 0; r < table_->rowCount(); ++r)
        showRowState(r, table_->item(r, NumberColumn)->data(MODEL_ROW_ROLE).toULongLong());
    filling_ = false;
    write_->setEnabled(model_.changedCount() > 0 && ctx_.window().deviceSelected);
}

void ParameterTableDialog::done(int result) {
    model_.close();
    QDialog::done(result);
}
