#include "params/ui/ParameterTableDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "params/CsvFile.h"
#include "session/AppContext.h"
#include "texts/TextFill.h"
#include "session/ui/WindowPlaceQt.h"
#include "widgets/KeepDiscardQuestionQt.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/HeaderFitQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/ResultLineQt.h"
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
constexpr uint32_t CANCEL_TEXT = 33135;
constexpr uint32_t PENDING_COUNT_TEXT = 33171;   // "%s edits not written"
constexpr uint32_t WRITE_PLAN_TEXT = 33172;      // "Write these %s values into the device?"
constexpr uint32_t WROTE_LIST_TEXT = 33173;      // "Wrote %s parameters into the device:"
constexpr uint32_t PENDING_QUESTION_TEXT = 33175;
// The same for a count of one.
constexpr uint32_t COUNT_ONE_TEXT = 0x82C8;
constexpr uint32_t PENDING_COUNT_ONE_TEXT = 0x82C9;
constexpr uint32_t WRITE_PLAN_ONE_TEXT = 0x82CA;
constexpr uint32_t WROTE_LIST_ONE_TEXT = 0x82CB;
constexpr uint32_t PENDING_QUESTION_ONE_TEXT = 0x82CC;
constexpr uint32_t WRITE_BUTTON_TEXT = 33176;
constexpr uint32_t DISCARD_BUTTON_TEXT = 33177;
constexpr uint32_t REVERT_TEXT = 33178;
constexpr uint32_t MOVING_TEXT = 0x8269;          // "moving"
constexpr uint32_t UPDATE_TEXT = 0x826A;          // "&Update values"
constexpr uint32_t UPDATED_TEXT = 0x826B;         // "%s values changed since they were read ..."
constexpr uint32_t UNCHANGED_TEXT = 0x826D;       // "The values did not change since they were read."
constexpr uint32_t SHOWN_ONLY_TEXT = 33180;
constexpr uint32_t WRITTEN_MARK_TEXT = 33181;
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
    nameWindow(this, ctx, 33106);
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
    table_->setAccessibleName(shellText(ctx.texts, FRAME_TEXT));
    table_->setHorizontalHeaderLabels({shellText(ctx.texts, NUMBER_HEADER), shellText(ctx.texts, DESCRIPTION_HEADER), shellText(ctx.texts, VALUE_HEADER),
                                       shellText(ctx.texts, KIND_HEADER), shellText(ctx.texts, ACCESS_HEADER)});
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setSectionResizeMode(DescriptionColumn, QHeaderView::Stretch);
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    connect(table_, &QTableWidget::itemChanged, this, &ParameterTableDialog::valueEdited);
    // An edit that leaves the cell's text as it stood (the value a refused
    // edit gave back, typed again) changes no item, yet it replaces the
    // refused edit: its mark and its note go. The view stores the editor's
    // text before this runs.
    connect(table_->itemDelegate(), &QAbstractItemDelegate::commitData, this, [this] {
        QTableWidgetItem* item = table_->currentItem();
        if (!itemChangedByEdit_ && item && item->column() == ValueColumn) {
            showRowState(item->row(), item->data(MODEL_ROW_ROLE).toULongLong());
            note_->clear();
        }
        itemChangedByEdit_ = false;
    });
    // A double click anywhere on a row edits its value, as on the value itself.
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        QTableWidgetItem* value = table_->item(row, ValueColumn);
        if (column != ValueColumn && value && (value->flags() & Qt::ItemIsEditable)) {
            table_->setCurrentItem(value);
            table_->editItem(value);
        }
    });
    layout->addWidget(table_, 1);
    // Why the last edit was refused or changed; the cell says it too, in its tip.
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("note"));
    note_->setTextFormat(Qt::PlainText);
    markResultLine(note_);
    layout->addWidget(note_);

    auto* buttons = new QHBoxLayout;
    write_ = new QPushButton(shellText(ctx.texts, WRITE_TEXT), this);
    write_->setObjectName(QStringLiteral("write"));
    write_->setEnabled(false);
    connect(write_, &QPushButton::clicked, this, [this] { writeChanges(); });
    buttons->addWidget(write_);
    pending_ = new QLabel(this);
    pending_->setObjectName(QStringLiteral("pending"));
    buttons->addWidget(pending_);
    revert_ = new QPushButton(shellText(ctx.texts, REVERT_TEXT), this);
    revert_->setObjectName(QStringLiteral("revert"));
    revert_->setEnabled(false);
    connect(revert_, &QPushButton::clicked, this, &ParameterTableDialog::revertCurrent);
    connect(table_, &QTableWidget::currentCellChanged, this, [this] { showPending(); });
    buttons->addWidget(revert_);
    auto* exportButton = new QPushButton(shellText(ctx.texts, EXPORT_TEXT), this);
    exportButton->setObjectName(QStringLiteral("export"));
    connect(exportButton, &QPushButton::clicked, this, [this] {
        exportCsv(ctx_, model_.csv(shownOnly_->isChecked() ? filter_->text().toStdString() : std::string()));
    });
    buttons->addWidget(exportButton);
    auto* updateButton = new QPushButton(shellText(ctx.texts, UPDATE_TEXT), this);
    updateButton->setObjectName(QStringLiteral("update"));
    connect(updateButton, &QPushButton::clicked, this, &ParameterTableDialog::updateValues);
    buttons->addWidget(updateButton);
    shownOnly_ = new QCheckBox(shellText(ctx.texts, SHOWN_ONLY_TEXT), this);
    shownOnly_->setObjectName(QStringLiteral("shownOnly"));
    buttons->addWidget(shownOnly_);
    buttons->addStretch(1);
    addHelpAndOk(this, buttons, shellText(ctx.texts, HELP_TEXT), help, HELP_ANCHOR);
    layout->addLayout(buttons);
    enterPressesFocusedButton(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    readyForKeyboard(this);
    keepWindowPlace(this, ctx, "parameter_table");
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
    showPending();
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
        if (p.moving) showRowState(r, i);
    }
    table_->resizeColumnToContents(NumberColumn);
    table_->setSortingEnabled(true);
    table_->sortByColumn(NumberColumn, Qt::AscendingOrder);
    fitColumnsToCaptions(table_);
    filling_ = false;
    applyFilter();
}

std::string ParameterTableDialog::counted(uint32_t one, uint32_t many, size_t n) const {
    return countText(ctx_.message(one), ctx_.message(many), n);
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
    count_->setText(shellText(counted(COUNT_ONE_TEXT, COUNT_TEXT, size_t(shown))));
    keepCurrentCellShown();
}

// The current cell is where the next key typed lands (any key starts an edit
// there): a row the filter hides must not keep it, or the operator would edit
// a row nobody sees. The cursor moves to the same column of the first row
// shown, or nowhere when none is; an edit still open in the hidden row ends
// first, its text going to its own row (the view commits an open editor when
// the current cell moves).
void ParameterTableDialog::keepCurrentCellShown() {
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid() || !table_->isRowHidden(current.row())) return;
    int first = 0;
    while (first < table_->rowCount() && table_->isRowHidden(first)) ++first;
    const QModelIndex to =
        first < table_->rowCount() ? table_->model()->index(first, current.column()) : QModelIndex();
    table_->selectionModel()->setCurrentIndex(to, QItemSelectionModel::ClearAndSelect);
}

void ParameterTableDialog::valueEdited(QTableWidgetItem* item) {
    if (filling_ || item->column() != ValueColumn) return;
    const size_t i = item->data(MODEL_ROW_ROLE).toULongLong();
    filling_ = true;
    // The cell shows what the edit rules made of the typed text: a refused
    // text gives the old value back.
    const EditResult edit = model_.editValue(i, item->text().toStdString());
    table_->setSortingEnabled(false);
    item->setText(shellText(edit.shown));
    item->setData(SORT_ROLE, QVariant::fromValue<qulonglong>(model_.rows()[i].edited));
    showRowState(item->row(), i, &edit);
    table_->setSortingEnabled(true);
    filling_ = false;
    note_->setText(shellText(edit.reason));
    itemChangedByEdit_ = true;
    showPending();
}

void ParameterTableDialog::showRowState(int tableRow, size_t modelRow, const EditResult* edit) {
    QTableWidgetItem* value = table_->item(tableRow, ValueColumn);
    const TableRow& row = model_.rows()[modelRow];
    QFont font = value->font();
    font.setBold(row.changed());
    value->setFont(font);
    QString tip;
    QBrush background;
    if (edit && edit->outcome != EditOutcome::Accepted) {
        tip = shellText(edit->reason);
        background = QColor(edit->outcome == EditOutcome::Refused ? 0xffd0d0 : 0xfff0b0);
    } else if (row.written) {
        tip = shellText(ctx_.texts, WRITTEN_MARK_TEXT);
        background = QColor(0xd8f0d8);
    } else if (row.parameter.moving) {
        tip = shellText(ctx_.texts, MOVING_TEXT);
    }
    // A counter or a measurement: its value is the device at work.
    font.setItalic(row.parameter.moving);
    value->setFont(font);
    value->setForeground(row.parameter.moving ? QBrush(QColor(0x60, 0x60, 0x60)) : QBrush());
    value->setToolTip(tip);
    value->setBackground(background);
}

void ParameterTableDialog::updateValues() {
    const ParameterTable::Update update = model_.updateValues();
    showAllRows();
    note_->setText(update.changed ? shellText(fillText(ctx_.message(UPDATED_TEXT), {std::to_string(update.changed)}))
                                  : shellText(ctx_.texts, UNCHANGED_TEXT));
}

void ParameterTableDialog::showAllRows() {
    filling_ = true;
    table_->setSortingEnabled(false);
    for (int r = 0; r < table_->rowCount(); ++r) {
        const size_t i = table_->item(r, NumberColumn)->data(MODEL_ROW_ROLE).toULongLong();
        QTableWidgetItem* value = table_->item(r, ValueColumn);
        value->setText(shellText(model_.valueText(i)));
        value->setData(SORT_ROLE, QVariant::fromValue<qulonglong>(model_.rows()[i].edited));
        showRowState(r, i);
    }
    table_->setSortingEnabled(true);
    filling_ = false;
    showPending();
}

void ParameterTableDialog::showPending() {
    const size_t pending = model_.changedCount();
    pending_->setText(pending ? shellText(counted(PENDING_COUNT_ONE_TEXT, PENDING_COUNT_TEXT, pending)) : QString());
    write_->setEnabled(pending > 0 && ctx_.window().deviceSelected);
    const int current = table_->currentRow();
    revert_->setEnabled(current >= 0 &&
                        model_.rows()[table_->item(current, NumberColumn)->data(MODEL_ROW_ROLE).toULongLong()].changed());
}

void ParameterTableDialog::revertCurrent() {
    const int current = table_->currentRow();
    if (current < 0) return;
    model_.revert(table_->item(current, NumberColumn)->data(MODEL_ROW_ROLE).toULongLong());
    note_->clear();
    showAllRows();
}

bool ParameterTableDialog::writeChanges() {
    const std::vector<PlannedWrite> plan = model_.writePlan();
    if (plan.empty()) return true;
    const std::string lines = model_.writePlanText();
    const std::string question = counted(WRITE_PLAN_ONE_TEXT, WRITE_PLAN_TEXT, plan.size()) + "\n\n" + lines;
    if (!ctx_.ui().question(ctx_.settings.windowTitle, question)) return false;
    return writeConfirmed();
}

bool ParameterTableDialog::writeConfirmed() {
    const WriteOutcome outcome = model_.writeChanges();
    showAllRows();
    if (outcome.failed) {
        // The row the device did not take stays marked until it is edited again.
        for (int r = 0; r < table_->rowCount(); ++r)
            if (table_->item(r, NumberColumn)->data(MODEL_ROW_ROLE).toULongLong() == outcome.failedRow) {
                table_->item(r, ValueColumn)->setBackground(QColor(0xffd0d0));
                table_->scrollToItem(table_->item(r, ValueColumn));
            }
    }
    if (outcome.written > 0 && !outcome.failed) {
        std::string told = counted(WROTE_LIST_ONE_TEXT, WROTE_LIST_TEXT, outcome.written) + "\n\n";
        for (const TableRow& r : model_.rows())
            if (r.written)
                told += formatParameterNumber(r.parameter.number) + "  " + r.description + ": " +
                        parameterValueText(ctx_.texts, r.parameter.value, r.parameter.onOff) + "\n";
        ctx_.ui().messageTable(ctx_.settings.windowTitle, told, MessageIcon::Information);
    }
    return !outcome.failed && outcome.pending == 0;
}

bool ParameterTableDialog::settlePendingEdits() {
    const size_t pending = model_.changedCount();
    if (pending == 0) return true;
    const UnsavedChoice choice = askAboutUnsavedWork(
        this, windowTitle(),
        shellText(counted(PENDING_QUESTION_ONE_TEXT, PENDING_QUESTION_TEXT, pending)) + QStringLiteral("\n\n") +
            shellText(model_.writePlanText()),
        {shellText(ctx_.texts, WRITE_BUTTON_TEXT), shellText(ctx_.texts, DISCARD_BUTTON_TEXT),
         shellText(ctx_.texts, CANCEL_TEXT)},
        QStringLiteral("pending"));
    if (choice == UnsavedChoice::Discard) return true;
    if (choice == UnsavedChoice::Keep) return writeConfirmed();
    return false;
}

void ParameterTableDialog::done(int result) {
    if (closing_) return;
    closing_ = true;
    const bool mayClose = settlePendingEdits();
    closing_ = false;
    if (!mayClose) return;
    model_.close();
    QDialog::done(result);
}
