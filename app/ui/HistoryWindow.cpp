#include "app/ui/HistoryWindow.h"
#include "session/ui/WindowNameQt.h"

#include <algorithm>

#include <QAbstractTableModel>
#include <QBrush>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "files/Compare.h"
#include "files/ParameterFiles.h"
#include "files/ui/CompareDialog.h"
#include "link/DeviceLink.h"
#include "link/RegisterKeys.h"
#include "params/ParameterModel.h"
#include "session/AppContext.h"
#include "session/JournalEntry.h"
#include "session/ui/WindowPlaceQt.h"
#include "texts/TextFill.h"
#include "widgets/HeaderFitQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/ShellTextQt.h"

namespace {
constexpr uint32_t CAPTION_TEXT = 33330;
constexpr uint32_t DEVICES_TEXT = 33331;
constexpr uint32_t ENTRIES_TEXT = 33475;
constexpr uint32_t VALUES_TEXT = 33476;
constexpr uint32_t OPERATION_LABEL_TEXT = 33332;
constexpr uint32_t ALL_OPERATIONS_TEXT = 33333;
constexpr uint32_t SEARCH_TEXT = 33334;
constexpr uint32_t COMPARE_DEVICE_TEXT = 33350;
constexpr uint32_t LOAD_TEXT = 33351;
constexpr uint32_t COMPARE_ENTRIES_TEXT = 33352;
constexpr uint32_t FILE_MISSING_TEXT = 33353;
constexpr uint32_t PARAMETER_TEXT = 33354;
constexpr uint32_t BEFORE_TEXT = 33355;
constexpr uint32_t AFTER_TEXT = 33356;
constexpr uint32_t READ_BACK_TEXT = 33357;
constexpr uint32_t TWO_ENTRIES_TEXT = 33362;
constexpr uint32_t CONNECT_FIRST_TEXT = 33363;
constexpr uint32_t HISTORY_OFF_TEXT = 33364;
constexpr uint32_t HELP_TEXT = 33133;
constexpr uint32_t OUTCOME_LABEL_TEXT = 33393;
constexpr uint32_t ALL_OUTCOMES_TEXT = 33394;
// done, failed, interrupted: in the order of EntryState
constexpr uint32_t ENTRY_STATE_TEXTS[] = {33347, 33348, 33349};
constexpr uint32_t VALUE_OUTCOME_HEADER_TEXT = 33338;
constexpr uint32_t OTHER_DEVICE_QUESTION = 33403;
constexpr uint32_t NO_ANSWER_TEXT = 33404;
constexpr const char* VIA_HISTORY = "history";
}  // namespace

// The entries as a table view reads them: cells are made when drawn, so a
// device with a hundred thousand entries opens as fast as one with ten.
class HistoryTableModel : public QAbstractTableModel {
public:
    explicit HistoryTableModel(HistoryModel& model, QObject* parent) : QAbstractTableModel(parent), model_(model) {}
    void reset() {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(model_.rowCount());
    }
    // The plant's view is read a page at a time, as the operator scrolls down.
    bool canFetchMore(const QModelIndex& parent) const override { return !parent.isValid() && model_.canFetchMore(); }
    void fetchMore(const QModelIndex& parent) override {
        if (parent.isValid()) return;
        model_.fetchMore(
            [this](size_t first, size_t last) { beginInsertRows({}, static_cast<int>(first), static_cast<int>(last)); },
            [this] { endInsertRows(); });
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(HistoryColumn::Count);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const auto row = static_cast<size_t>(index.row());
        const auto column = static_cast<HistoryColumn>(index.column());
        // A history that could not be read shows no rows (the note says why).
        if (model_.failed() || row >= model_.rowCount()) return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return shellText(model_.cell(row, column));
        // An interrupted entry and a file that is gone stand out.
        if (role == Qt::ForegroundRole && column == HistoryColumn::Outcome && model_.interrupted(row))
            return QBrush(QColor(0xB0, 0, 0));
        if (role == Qt::ForegroundRole && column == HistoryColumn::File && model_.fileShownMissing(row))
            return QBrush(QColor(0xB0, 0, 0));
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return shellText(model_.header(static_cast<HistoryColumn>(section)));
    }

private:
    HistoryModel& model_;
};

HistoryWindow::HistoryWindow(AppContext& ctx, const HelpRequest& help, QWidget* parent)
    : QDialog(parent), ctx_(ctx), help_(help), model_(ctx) {
    setObjectName(QStringLiteral("history"));
    setWindowTitle(shellText(ctx.settings.windowTitle) + QStringLiteral(" - ") + shellText(ctx.texts, CAPTION_TEXT));
    nameWindow(this, ctx, CAPTION_TEXT);
    resize(1160, 640);
    auto* layout = new QVBoxLayout(this);
    // The filters head the whole window, so that reading order (and Tab)
    // goes filters, devices, entries, values.
    auto* filterRow = new QHBoxLayout;
    auto* operationLabel = new QLabel(shellText(ctx.texts, OPERATION_LABEL_TEXT), this);
    operation_ = new QComboBox(this);
    operation_->addItem(shellText(ctx.texts, ALL_OPERATIONS_TEXT));
    for (int op = 0; op < JournalOperationCount; ++op)
        operation_->addItem(shellText(model_.operationText(static_cast<JournalOperation>(op))));
    operationLabel->setBuddy(operation_);
    auto* outcomeLabel = new QLabel(shellText(ctx.texts, OUTCOME_LABEL_TEXT), this);
    outcome_ = new QComboBox(this);
    outcome_->setObjectName(QStringLiteral("outcome"));
    outcome_->addItem(shellText(ctx.texts, ALL_OUTCOMES_TEXT));
    for (uint32_t text : ENTRY_STATE_TEXTS) outcome_->addItem(shellText(ctx.texts, text));
    outcomeLabel->setBuddy(outcome_);
    auto* searchLabel = new QLabel(shellText(ctx.texts, SEARCH_TEXT), this);
    search_ = new QLineEdit(this);
    search_->setClearButtonEnabled(true);
    searchLabel->setBuddy(search_);
    filterRow->addWidget(operationLabel);
    filterRow->addWidget(operation_);
    filterRow->addSpacing(12);
    filterRow->addWidget(outcomeLabel);
    filterRow->addWidget(outcome_);
    filterRow->addSpacing(12);
    filterRow->addWidget(searchLabel);
    filterRow->addWidget(search_, 1);
    layout->addLayout(filterRow);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter, 1);

    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(new QLabel(shellText(ctx.texts, DEVICES_TEXT), left));
    devices_ = new QListWidget(left);
    devices_->setObjectName(QStringLiteral("devices"));
    leftLayout->addWidget(devices_);
    devices_->setAccessibleName(spokenCaption(shellText(ctx.texts, DEVICES_TEXT)).remove(QLatin1Char(':')));

    auto* right = new QWidget(splitter);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);

    tableModel_ = new HistoryTableModel(model_, this);
    table_ = new QTableView(right);
    table_->setObjectName(QStringLiteral("entries"));
    table_->setModel(tableModel_);
    table_->setAccessibleName(shellText(ctx.texts, ENTRIES_TEXT));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Paths are told apart by their ends as much as by their beginnings.
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Time, operation, outcome, device, user, port, file; the details take the rest.
    const int timeWidth = fontMetrics().horizontalAdvance(QStringLiteral("2026-12-10 00:00:00")) + 14;
    const int widths[] = {timeWidth, 130, 80, 80, 85, 90, 190};
    for (int c = 0; c < 7; ++c) table_->setColumnWidth(c, widths[c]);
    rightLayout->addWidget(table_, 3);

    note_ = new QLabel(right);
    note_->setObjectName(QStringLiteral("note"));
    note_->setTextFormat(Qt::PlainText);
    note_->setWordWrap(true);
    note_->setStyleSheet(QStringLiteral("color: #b00000"));
    rightLayout->addWidget(note_);

    auto* buttons = new QHBoxLayout;
    compareDevice_ = new QPushButton(shellText(ctx.texts, COMPARE_DEVICE_TEXT), right);
    load_ = new QPushButton(shellText(ctx.texts, LOAD_TEXT), right);
    compareEntries_ = new QPushButton(shellText(ctx.texts, COMPARE_ENTRIES_TEXT), right);
    for (QPushButton* b : {compareDevice_, load_, compareEntries_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    rightLayout->addLayout(buttons);

    auto* parameterRow = new QHBoxLayout;
    auto* parameterLabel = new QLabel(shellText(ctx.texts, PARAMETER_TEXT), right);
    parameter_ = new QComboBox(right);
    parameter_->setMinimumContentsLength(40);
    parameterLabel->setBuddy(parameter_);
    parameterRow->addWidget(parameterLabel);
    parameterRow->addWidget(parameter_, 1);
    rightLayout->addLayout(parameterRow);
    values_ = new QTableWidget(0, 6, right);
    values_->setObjectName(QStringLiteral("values"));
    values_->setHorizontalHeaderLabels({shellText(model_.header(HistoryColumn::Time)),
                                        shellText(model_.header(HistoryColumn::Operation)),
                                        shellText(ctx.texts, BEFORE_TEXT), shellText(ctx.texts, AFTER_TEXT),
                                        shellText(ctx.texts, READ_BACK_TEXT),
                                        shellText(ctx.texts, VALUE_OUTCOME_HEADER_TEXT)});
    values_->setAccessibleName(shellText(ctx.texts, VALUES_TEXT));
    values_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    values_->setWordWrap(false);
    values_->setColumnWidth(0, timeWidth);
    values_->setColumnWidth(1, 130);
    values_->verticalHeader()->hide();
    values_->horizontalHeader()->setStretchLastSection(true);
    rightLayout->addWidget(values_, 2);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({230, 930});

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    addHelpAndOk(this, bottom, shellText(ctx.texts, HELP_TEXT), help_, "history");
    layout->addLayout(bottom);

    connect(devices_, &QListWidget::currentRowChanged, this, [this](int row) {
        model_.selectDevice(row);
        showEntries();
        fillParameters();
    });
    connect(operation_, &QComboBox::currentIndexChanged, this, [this] { showEntries(); });
    connect(outcome_, &QComboBox::currentIndexChanged, this, [this] { showEntries(); });
    // A page that fails while the table draws it: the rows go, the note says why.
    model_.onFailure = [this] {
        QMetaObject::invokeMethod(this, [this] {
            tableModel_->reset();
            showNote();
        }, Qt::QueuedConnection);
    };
    connect(search_, &QLineEdit::textChanged, this, [this] { showEntries(); });
    connect(parameter_, &QComboBox::currentIndexChanged, this, [this] { showValues(); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { selectionChanged(); });
    connect(compareDevice_, &QPushButton::clicked, this, &HistoryWindow::compareWithDevice);
    connect(load_, &QPushButton::clicked, this, &HistoryWindow::loadIntoDevice);
    connect(compareEntries_, &QPushButton::clicked, this, &HistoryWindow::compareEntries);
    reload();
    fitColumnsToCaptions(table_);
    fitColumnsToCaptions(values_);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    readyForKeyboard(this);
    keepWindowPlace(this, ctx, "history");
}

void HistoryWindow::reload() {
    tellJournalProblem(ctx_);
    const int before = devices_->currentRow();
    model_.refresh();
    tellJournalProblem(ctx_);
    QSignalBlocker block(devices_);
    devices_->clear();
    for (size_t i = 0; i < model_.devices().size(); ++i) devices_->addItem(shellText(model_.deviceText(i)));
    // The device connected now is the one the operator most likely wants.
    int chosen = model_.selectedDevice() >= 0 ? model_.selectedDevice() : before;
    const DeviceIdentity now = selectedDeviceIdentity(ctx_);
    for (size_t i = 0; chosen < 0 && ctx_.window().deviceSelected && i < model_.devices().size(); ++i)
        if (sameUnit(model_.devices()[i].identity, now)) chosen = static_cast<int>(i);
    if (chosen < 0 && !model_.devices().empty()) chosen = 0;
    devices_->setCurrentRow(chosen);
    model_.selectDevice(chosen);
    showEntries();
    fillParameters();
}

void HistoryWindow::showEntries() {
    const int op = operation_->currentIndex();
    const int state = outcome_->currentIndex();
    model_.setFilter(op > 0 ? std::optional(static_cast<JournalOperation>(op - 1)) : std::nullopt,
                     search_->text().toStdString(),
                     state > 0 ? std::optional(static_cast<EntryState>(state - 1)) : std::nullopt);
    tableModel_->reset();
    selectionChanged();
}

void HistoryWindow::fillParameters() {
    QSignalBlocker block(parameter_);
    parameter_->clear();
    for (uint32_t number : model_.parameterNumbers())
        parameter_->addItem(shellText(formatParameterNumber(number) + "  " + parameterDescription(ctx_.texts, number)),
                            number);
    showValues();
}

void HistoryWindow::showValues() {
    values_->setRowCount(0);
    if (parameter_->currentIndex() < 0) return;
    const auto rows = model_.valueRows(parameter_->currentData().toUInt());
    values_->setRowCount(static_cast<int>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            values_->setItem(static_cast<int>(r), static_cast<int>(c), new QTableWidgetItem(shellText(rows[r][c])));
}

std::vector<size_t> HistoryWindow::selectedRows() const {
    std::vector<size_t> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) rows.push_back(static_cast<size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void HistoryWindow::selectionChanged() {
    const std::vector<size_t> rows = selectedRows();
    const bool oneWithFile = rows.size() == 1 && !model_.entryFile(rows.front()).empty();
    compareDevice_->setEnabled(oneWithFile);
    load_->setEnabled(oneWithFile);
    compareEntries_->setEnabled(rows.size() == 2);
    showNote();
}

void HistoryWindow::showNote() {
    if (!model_.available()) {
        note_->setText(shellText(ctx_.texts, HISTORY_OFF_TEXT));
        return;
    }
    if (model_.failed()) {
        note_->setText(shellText(model_.failureText()));
        return;
    }
    std::string missing;
    for (size_t row : selectedRows())
        if (model_.fileMissing(row)) missing += (missing.empty() ? "" : "\n") + model_.entryFile(row);
    if (!missing.empty()) note_->setText(shellText(ctx_.message(FILE_MISSING_TEXT) + "\n" + missing));
    else if (!model_.plantNote().empty()) note_->setText(shellText(model_.plantNote()));
    else note_->clear();
}

bool HistoryWindow::deviceReady() {
    if (ctx_.window().deviceSelected) return true;
    ctx_.showText(CONNECT_FIRST_TEXT, MessageIcon::Information);
    return false;
}

std::string HistoryWindow::fileOfSelection() {
    const std::vector<size_t> rows = selectedRows();
    if (rows.size() != 1) return {};
    const std::string file = model_.entryFile(rows.front());
    if (file.empty()) return {};
    if (model_.fileMissing(rows.front())) {
        ctx_.showFileText(FILE_MISSING_TEXT, file);
        return {};
    }
    return file;
}

void HistoryWindow::compareWithDevice() {
    const std::string file = fileOfSelection();
    if (file.empty() || !deviceReady()) return;
    JournalVia via(ctx_, VIA_HISTORY);
    Comparison comparison;
    if (compareDeviceWithFile(ctx_, file, comparison)) {
        ctx_.window().RenderPanel();
        const std::string loadPath = ctx_.window().deviceSelected ? file : std::string();
        CompareDialog dialog(ctx_, std::move(comparison), loadPath, help_, this);
        dialog.exec();
    }
    ctx_.window().RenderPanel();
    reload();
}

namespace {
std::string identityVersion(const DeviceIdentity& d) {
    if (d.version < 0) return "?";
    return std::to_string(d.version) + "." + std::to_string(d.release);
}
}  // namespace

bool HistoryWindow::loadTargetConfirmed(size_t row) {
    DeviceLink& link = ctx_.link;
    const DeviceIdentity now = selectedDeviceIdentity(ctx_);
    // Asked before anything else: a device that stopped answering (a cable
    // pulled, the power gone) is said as such, not as a load that failed.
    uint32_t version = 0;
    if (link.ReadRegisterRetry(VersionKey, version) != 1) {
        ctx_.showMessage(fillText(ctx_.message(NO_ANSWER_TEXT),
                                  {trimmedDeviceName(now.name), journalAddressText(now.address)}));
        return false;
    }
    // The entry's device is the unit the entry belongs to: another device
    // (a file name that only begins alike, a unit swapped) is asked about,
    // No the default.
    const std::optional<DeviceIdentity> unit = model_.selectedIdentity();
    if (!unit || sameUnit(*unit, now)) return true;
    const DeviceIdentity entry = model_.entryDevice(row);
    const std::string question = fillText(
        ctx_.message(OTHER_DEVICE_QUESTION),
        {trimmedDeviceName(entry.name), entry.address < 0 ? "?" : journalAddressText(entry.address), identityVersion(entry),
         trimmedDeviceName(now.name), journalAddressText(now.address), identityVersion(now)});
    return ctx_.ui().questionDefaultNo(ctx_.settings.windowTitle, question);
}

void HistoryWindow::loadIntoDevice() {
    const std::string file = fileOfSelection();
    if (file.empty() || !deviceReady()) return;
    if (!loadTargetConfirmed(selectedRows().front())) return;
    // The load asks first itself, naming the device and the file.
    {
        JournalVia via(ctx_, VIA_HISTORY);
        loadFileIntoDevice(ctx_, file);
    }
    ctx_.window().RenderPanel();
    reload();
}

void HistoryWindow::compareEntries() {
    std::vector<size_t> rows = selectedRows();
    std::vector<std::string> files;
    for (size_t row : rows) {
        const std::string file = model_.entryFile(row);
        if (file.empty()) break;
        if (model_.fileMissing(row)) {
            ctx_.showFileText(FILE_MISSING_TEXT, file);
            return;
        }
        files.push_back(file);
    }
    if (rows.size() != 2 || files.size() != 2) {
        ctx_.showText(TWO_ENTRIES_TEXT, MessageIcon::Information);
        return;
    }
    // Newest first in the table: the older file goes on the left.
    Comparison comparison;
    if (!compareFiles(ctx_, files[1], files[0], comparison)) return;
    CompareDialog dialog(ctx_, std::move(comparison), std::string(), help_, this);
    dialog.exec();
}

void runHistoryWindow(AppContext& ctx, QWidget* parent, const HelpRequest& help) {
    HistoryWindow window(ctx, help, parent);
    window.exec();
}
