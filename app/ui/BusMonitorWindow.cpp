#include "app/ui/BusMonitorWindow.h"

#include <algorithm>
#include <cctype>

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "link/DeviceLink.h"
#include "platform/ReplaceFile.h"
#include "session/AppContext.h"
#include "session/FileChooser.h"
#include "texts/TextFill.h"
#include "session/ui/WindowPlaceQt.h"
#include "widgets/EscapeClosesQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/MonospacedFontQt.h"
#include "widgets/ShellTextQt.h"

namespace {
constexpr uint32_t TitleText = 0x8142;
constexpr uint32_t ColumnsText = 0x8143;
constexpr uint32_t KindsText = 0x8144;
constexpr uint32_t WordsText = 0x8145;
constexpr uint32_t PauseText = 0x8146;
constexpr uint32_t ClearText = 0x8147;
constexpr uint32_t SaveText = 0x8148;
constexpr uint32_t HelpText = 0x8149;
constexpr uint32_t ShowText = 0x814A;
constexpr uint32_t FileFilterText = 0x814B;
constexpr uint32_t CountsText = 0x814C;
constexpr uint32_t RegistersText = 33232;
constexpr uint32_t ResumeText = 33233;
constexpr uint32_t AddressText = 33234;
constexpr uint32_t AllAddressesText = 33235;
constexpr int BusAddresses = 64;
constexpr uint32_t FileFailedText = 4;
constexpr uint32_t SavedFileText = 33033;
constexpr int RefreshMs = 100;
}  // namespace

// The log's rows as a table. The view's rows are the log's rows base_ to
// base_ + count_ - 1; after each pull the rows that left the front are
// removed and the new ones appended, so the view keeps its place.
class BusMonitorRows : public QAbstractTableModel {
public:
    BusMonitorRows(const BusMonitorLog& log, const BusWords& words, QObject* parent)
        : QAbstractTableModel(parent), log_(log), words_(words) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(count_); }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(BusWords::ColumnCount);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= int(BusWords::ColumnCount))
            return {};
        return shellText(words_.columns[section]);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const BusRowText* r = rowText(index.row());
        if (!r) return {};
        switch (role) {
        case Qt::DisplayRole:
            switch (BusColumn(index.column())) {
            case BusColumn::Time: return QString::fromStdString(r->time);
            case BusColumn::Kind: return shellText(r->kind);
            case BusColumn::Target: return QString::fromStdString(r->target);
            case BusColumn::Register: return shellText(r->name);
            case BusColumn::Result: return shellText(r->result);
            case BusColumn::Sent: return QString::fromStdString(r->sent);
            case BusColumn::Received: return QString::fromStdString(r->received);
            case BusColumn::Count: break;
            }
            return {};
        case Qt::ForegroundRole:
            if (r->failed) return QColor(170, 0, 0);
            if (r->retry) return QColor(90, 90, 90);
            return {};
        case Qt::BackgroundRole:
            if (r->failed) return QColor(255, 228, 228);
            return {};
        case Qt::TextAlignmentRole:
            return index.column() == 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        }
        return {};
    }

    void follow() {
        const uint64_t base = log_.firstRow();
        const uint64_t end = base + log_.rowCount();
        if (base > base_ + count_ || base < base_) {
            reset();
            return;
        }
        cached_ = -1;
        if (base > base_) {
            beginRemoveRows(QModelIndex(), 0, int(base - base_) - 1);
            count_ -= size_t(base - base_);
            base_ = base;
            endRemoveRows();
        }
        if (end > base_ + count_) {
            beginInsertRows(QModelIndex(), int(count_), int(end - base_) - 1);
            count_ = size_t(end - base_);
            endInsertRows();
        }
    }

    void reset() {
        beginResetModel();
        cached_ = -1;
        base_ = log_.firstRow();
        count_ = log_.rowCount();
        endResetModel();
    }

private:
    // A row's columns are asked for one by one: the last row described is kept.
    const BusRowText* rowText(int row) const {
        if (row < 0 || size_t(row) >= count_) return nullptr;
        if (cached_ != row) {
            const BusTransaction* t = log_.row(base_ + uint64_t(row));
            if (!t) return nullptr;
            text_ = describe(*t, words_);
            cached_ = row;
        }
        return &text_;
    }

    const BusMonitorLog& log_;
    const BusWords& words_;
    uint64_t base_ = 0;
    size_t count_ = 0;
    mutable int cached_ = -1;
    mutable BusRowText text_;
};

BusMonitorWindow::BusMonitorWindow(AppContext& ctx, std::function<void()> help, QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), help_(std::move(help)) {
    setObjectName(QStringLiteral("busMonitor"));
    auto text = [&ctx](uint32_t n) { return shellText(ctx.message(n)); };
    setWindowTitle(text(TitleText));
    words_.set(ctx.message(KindsText), ctx.message(WordsText), ctx.message(ColumnsText), ctx.message(RegistersText));

    rows_ = new BusMonitorRows(log_, words_, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("transactions"));
    table_->setAccessibleName(text(TitleText));
    table_->setModel(rows_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->horizontalHeader()->setStretchLastSection(true);
    QFont fixed = monospacedFont();
    table_->setFont(fixed);
    // Measured on the table itself: a font resolves for the screen it is shown on.
    const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    // Time, kind, address or key, register, result, bytes sent; the bytes
    // received take the rest.
    const int widths[] = {10, 15, 12, 18, 28, 30};
    for (int i = 0; i < 6; ++i) table_->setColumnWidth(i, widths[i] * digit);

    pause_ = new QPushButton(text(PauseText), this);
    pause_->setObjectName(QStringLiteral("pause"));
    pause_->setCheckable(true);
    connect(pause_, &QPushButton::toggled, this, [this, text](bool paused) {
        pause_->setText(text(paused ? ResumeText : PauseText));
        log_.setPaused(paused);
        if (!paused) refresh();
    });
    auto* clear = new QPushButton(text(ClearText), this);
    clear->setObjectName(QStringLiteral("clear"));
    connect(clear, &QPushButton::clicked, this, [this] {
        log_.clear();
        rows_->reset();
        showCounts();
    });
    auto* save = new QPushButton(text(SaveText), this);
    save->setObjectName(QStringLiteral("save"));
    connect(save, &QPushButton::clicked, this, [this] { chooseAndSave(); });
    auto* helpButton = new QPushButton(text(HelpText), this);
    helpButton->setObjectName(QStringLiteral("help"));
    connect(helpButton, &QPushButton::clicked, this, [this] {
        if (help_) help_();
    });
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, [this] {
        if (help_) help_();
    });

    auto* filter = new QHBoxLayout;
    filter->addWidget(new QLabel(text(ShowText), this));
    for (unsigned k = 0; k < BusKindCount; ++k) {
        auto* box = new QCheckBox(shellText(words_.kinds[k]), this);
        box->setObjectName(QStringLiteral("show%1").arg(k));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [this, k](bool shown) {
            refilter([this, k, shown] { log_.setKindShown(BusKind(k), shown); });
        });
        kinds_[k] = box;
        filter->addWidget(box);
    }
    filter->addSpacing(2 * digit);
    filter->addWidget(new QLabel(text(AddressText), this));
    // Addresses in hexadecimal, as the select rows show them.
    address_ = new QComboBox(this);
    address_->setObjectName(QStringLiteral("address"));
    address_->addItem(text(AllAddressesText), -1);
    for (int a = 0; a < BusAddresses; ++a) address_->addItem(QString::asprintf("%02x", a), a);
    connect(address_, &QComboBox::currentIndexChanged, this, [this] {
        const int address = address_->currentData().toInt();
        refilter([this, address] { log_.setAddressShown(address); });
    });
    filter->addWidget(address_);
    filter->addStretch(1);

    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("counts"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(counts_, 1);
    saved_ = new QLabel(this);
    saved_->setObjectName(QStringLiteral("saved"));
    saved_->setTextFormat(Qt::PlainText);
    buttons->addWidget(saved_);
    for (QPushButton* b : {pause_, clear, save, helpButton}) buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filter);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
    // Wide enough for every column but the last, within the screen.
    int width = 150 * digit;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    resize(width, 480);

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &BusMonitorWindow::refresh);
    showCounts();
    closeOnEscape(this);
    readyForKeyboard(this);
    keepWindowPlace(this, ctx, "bus_monitor");
}

BusMonitorWindow::~BusMonitorWindow() { detach(); }

void BusMonitorWindow::open() {
    if (!isVisible()) {
        log_.clear();
        rows_->reset();
        ctx_.link.setMonitor(&log_.recorder());
        timer_->start(RefreshMs);
        showCounts();
    }
    show();
    raise();
    activateWindow();
}

void BusMonitorWindow::detach() {
    if (ctx_.link.monitor() == &log_.recorder()) ctx_.link.setMonitor(nullptr);
    if (timer_) timer_->stop();
}

void BusMonitorWindow::closeEvent(QCloseEvent* event) {
    detach();
    // What was recorded up to the close is still shown if the window is looked at.
    refresh();
    event->accept();
}

void BusMonitorWindow::refresh() {
    if (log_.paused()) return;
    QScrollBar* bar = table_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    log_.pull();
    rows_->follow();
    if (atEnd) table_->scrollToBottom();
    showCounts();
}

void BusMonitorWindow::refilter(const std::function<void()>& change) {
    // The row at the top stays at the top (or the next one shown after it);
    // a view that followed the end goes on following it.
    QScrollBar* bar = table_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    const int top = table_->rowAt(0);
    const uint64_t position = top < 0 ? 0 : log_.keptPosition(log_.firstRow() + uint64_t(top));
    change();
    rows_->reset();
    if (atEnd) {
        table_->scrollToBottom();
    } else if (top >= 0) {
        const uint64_t row = log_.rowAtOrAfter(position) - log_.firstRow();
        if (row < log_.rowCount())
            table_->scrollTo(rows_->index(int(row), 0), QAbstractItemView::PositionAtTop);
        else
            table_->scrollToBottom();
    }
    showCounts();
}

void BusMonitorWindow::showCounts() {
    counts_->setText(shellText(fillText(ctx_.message(CountsText),
                                        {std::to_string(log_.rowCount()), std::to_string(log_.kept())})));
}

void BusMonitorWindow::chooseAndSave() {
    auto chosen = chooseFileToSave(ctx_, ctx_.message(FileFilterText), "TXT");
    if (chosen) save(*chosen);
}

bool BusMonitorWindow::save(const std::string& path) {
    std::string lower = path;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    const bool csv = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".csv") == 0;
    const bool saved = replaceFile(path, [this, csv](std::FILE* f) {
        return csv ? log_.writeCsv(f, words_) : log_.writeText(f, words_);
    });
    if (!saved) ctx_.showFileText(FileFailedText, path);
    // Said here: the main window's status bar may be behind this window.
    else saved_->setText(shellText(fillText(ctx_.message(SavedFileText), {path})));
    return saved;
}
