#include "files/ui/CompareDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QColor>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "params/CsvFile.h"
#include "session/AppContext.h"
#include "texts/TextFill.h"
#include "session/ui/WindowPlaceQt.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/HeaderFitQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/ResultLineQt.h"
#include "widgets/ShellTextQt.h"

namespace {
constexpr uint32_t NUMBER_HEADER = 1025;
constexpr uint32_t DESCRIPTION_HEADER = 1030;
constexpr uint32_t MOVING_TEXT = 0x8269;      // "moving"
constexpr uint32_t FRAME_TEXT = 33110;
constexpr uint32_t COUNT_TEXT = 33111;
constexpr uint32_t PARTIAL_TEXT = 33112;
constexpr uint32_t LOAD_TEXT = 33114;
constexpr uint32_t EXPORT_TEXT = 33115;
constexpr uint32_t HEADING_TEXT = 33116;
constexpr uint32_t HELP_TEXT = 33133;
constexpr uint32_t OTHER_DEVICE_TEXT = 0x81AA;
constexpr uint32_t OTHER_FILES_DEVICE_TEXT = 0x81AB;
constexpr const char* HELP_ANCHOR = "compare";

}  // namespace

CompareDialog::CompareDialog(AppContext& ctx, Comparison comparison, std::string loadPath, const HelpRequest& help,
                             QWidget* parent)
    : QDialog(parent), ctx_(ctx), comparison_(std::move(comparison)), loadPath_(std::move(loadPath)) {
    setObjectName(QStringLiteral("compare"));
    setWindowTitle(shellText(ctx.settings.windowTitle) + QStringLiteral(" - ") + shellText(ctx.texts, FRAME_TEXT));
    nameWindow(this, ctx, FRAME_TEXT);
    resize(760, 460);
    auto* layout = new QVBoxLayout(this);

    // Said first: a file of another device makes every row below moot.
    other_ = new QLabel(this);
    other_->setObjectName(QStringLiteral("otherDevice"));
    other_->setTextFormat(Qt::PlainText);
    other_->setWordWrap(true);
    other_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    layout->addWidget(other_);

    auto* heading = new QLabel(shellText(ctx.texts, HEADING_TEXT), this);
    heading->setTextFormat(Qt::PlainText);
    layout->addWidget(heading);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("count"));
    count_->setTextFormat(Qt::PlainText);
    layout->addWidget(count_);
    partial_ = new QLabel(this);
    partial_->setObjectName(QStringLiteral("partial"));
    partial_->setTextFormat(Qt::PlainText);
    partial_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    layout->addWidget(partial_);

    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName(QStringLiteral("rows"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->setAccessibleName(shellText(ctx.texts, FRAME_TEXT));
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    showComparison();
    fitColumnsToCaptions(table_);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    export_ = new QPushButton(shellText(ctx.texts, EXPORT_TEXT), this);
    export_->setObjectName(QStringLiteral("export"));
    connect(export_, &QPushButton::clicked, this,
            [this] { exportCsv(ctx_, comparisonCsv(ctx_.texts, comparison_)); });
    buttons->addWidget(export_);
    auto* result = new QLabel(this);
    result->setObjectName(QStringLiteral("result"));
    result->setTextFormat(Qt::PlainText);
    markResultLine(result);
    if (!loadPath_.empty()) {
        load_ = new QPushButton(shellText(ctx.texts, LOAD_TEXT), this);
        load_->setObjectName(QStringLiteral("load"));
        connect(load_, &QPushButton::clicked, this, &CompareDialog::loadFile);
        buttons->addWidget(load_);
    }
    buttons->addWidget(result, 1);
    addHelpAndOk(this, buttons, shellText(ctx.texts, HELP_TEXT), help, HELP_ANCHOR);
    layout->addLayout(buttons);
    enterPressesFocusedButton(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    readyForKeyboard(this);
    keepWindowPlace(this, ctx, "comparison");
}

void CompareDialog::showComparison() {
    AppContext& ctx = ctx_;
    other_->setText(comparison_.otherDevice ? shellText(ctx.message(comparison_.leftPath.empty()
                                                                         ? OTHER_DEVICE_TEXT
                                                                         : OTHER_FILES_DEVICE_TEXT))
                                            : QString());
    other_->setVisible(comparison_.otherDevice);
    count_->setText(shellText(fillText(ctx.message(COUNT_TEXT), {std::to_string(comparison_.rows.size())})));
    partial_->setText(comparison_.partial ? shellText(fillText(ctx.message(PARTIAL_TEXT),
                                                               {formatParameterNumber(comparison_.stoppedAt)}))
                                          : QString());
    partial_->setVisible(comparison_.partial);

    const int identityRows = static_cast<int>(comparison_.identity.size());
    table_->clearContents();
    table_->setRowCount(identityRows + static_cast<int>(comparison_.rows.size()));
    table_->setHorizontalHeaderLabels({shellText(ctx.texts, NUMBER_HEADER), shellText(ctx.texts, DESCRIPTION_HEADER),
                                       shellText(comparison_.leftName), shellText(comparison_.rightName)});
    // A file's column is titled by its name; the full path is a hover away.
    table_->horizontalHeaderItem(2)->setToolTip(shellText(comparison_.leftPath));
    table_->horizontalHeaderItem(3)->setToolTip(shellText(comparison_.rightPath));
    for (int r = 0; r < identityRows; ++r) {
        const IdentityRow& row = comparison_.identity[static_cast<size_t>(r)];
        const std::string cells[4] = {std::string(), ctx.message(row.label), row.left, row.right};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(shellText(cells[c]));
            QFont font = item->font();
            font.setBold(row.differs);
            item->setFont(font);
            if (row.differs) item->setForeground(QColor(0xb0, 0, 0));
            table_->setItem(r, c, item);
        }
    }
    for (int r = 0; r < static_cast<int>(comparison_.rows.size()); ++r) {
        const ComparedRow& row = comparison_.rows[static_cast<size_t>(r)];
        std::string cells[4] = {formatParameterNumber(row.number), parameterDescription(ctx.texts, row.number),
                                comparedValueText(ctx.texts, row.left), comparedValueText(ctx.texts, row.right)};
        // A counter or a measurement differs from the file by living: said,
        // and kept apart from the settings that differ.
        if (row.moving) cells[2] += " (" + ctx.message(MOVING_TEXT) + ")";
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(shellText(cells[c]));
            if (row.moving) {
                QFont font = item->font();
                font.setItalic(true);
                item->setFont(font);
                item->setForeground(QColor(0x60, 0x60, 0x60));
            }
            table_->setItem(identityRows + r, c, item);
        }
    }
    table_->resizeColumnToContents(0);
}

void CompareDialog::loadFile() {
    bool confirmed = false;
    loadComparedFile(ctx_, loadPath_, &confirmed);
    if (!confirmed) return;   // nothing was written: the rows still hold
    // The device changed: compare it again, or, when it is gone, offer no
    // second load of a comparison that no longer holds.
    Comparison fresh;
    if (ctx_.window().deviceSelected && compareDeviceWithFile(ctx_, loadPath_, fresh)) {
        comparison_ = std::move(fresh);
        showComparison();
        ctx_.window().RenderPanel();
    } else {
        load_->setEnabled(false);
    }
}
