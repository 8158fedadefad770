#include "files/ui/CompareDialog.h"

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
#include "widgets/KeyboardReadyQt.h"
#include "widgets/ShellTextQt.h"

namespace {
constexpr uint32_t NUMBER_HEADER = 1025;
constexpr uint32_t DESCRIPTION_HEADER = 1030;
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
    resize(760, 460);
    auto* layout = new QVBoxLayout(this);

    // Said first: a file of another device makes every row below moot.
    other_ = new QLabel(this);
    other_->setObjectName(QStringLiteral("otherDevice"));
    other_->setTextFormat(Qt::PlainText);
    other_->setWordWrap(true);
    other_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    if (comparison_.otherDevice)
        other_->setText(
            shellText(ctx.message(comparison_.leftPath.empty() ? OTHER_DEVICE_TEXT : OTHER_FILES_DEVICE_TEXT)));
    other_->setVisible(comparison_.otherDevice);
    layout->addWidget(other_);

    auto* heading = new QLabel(shellText(ctx.texts, HEADING_TEXT), this);
    heading->setTextFormat(Qt::PlainText);
    layout->addWidget(heading);
    count_ = new QLabel(shellText(fillText(ctx.message(COUNT_TEXT), {std::to_string(comparison_.rows.size())})), this);
    count_->setObjectName(QStringLiteral("count"));
    count_->setTextFormat(Qt::PlainText);
    layout->addWidget(count_);
    partial_ = new QLabel(this);
    partial_->setObjectName(QStringLiteral("partial"));
    partial_->setTextFormat(Qt::PlainText);
    partial_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    if (comparison_.partial)
        partial_->setText(shellText(
            fillText(ctx.message(PARTIAL_TEXT), {formatParameterNumber(comparison_.stoppedAt)})));
    partial_->setVisible(comparison_.partial);
    layout->addWidget(partial_);

    const int identityRows = static_cast<int>(comparison_.identity.size());
    table_ = new QTableWidget(identityRows + static_cast<int>(comparison_.rows.size()), 4, this);
    table_->setObjectName(QStringLiteral("rows"));
    table_->setAccessibleName(shellText(ctx.texts, FRAME_TEXT));
    table_->setHorizontalHeaderLabels({shellText(ctx.texts, NUMBER_HEADER), shellText(ctx.texts, DESCRIPTION_HEADER),
                                       shellText(comparison_.leftName), shellText(comparison_.rightName)});
    // A file's column is titled by its name; the full path is a hover away.
    table_->horizontalHeaderItem(2)->setToolTip(shellText(comparison_.leftPath));
    table_->horizontalHeaderItem(3)->setToolTip(shellText(comparison_.rightPath));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
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
        const std::string cells[4] = {formatParameterNumber(row.number), parameterDescription(ctx.texts, row.number),
                                      comparedValueText(ctx.texts, row.left), comparedValueText(ctx.texts, row.right)};
        for (int c = 0; c < 4; ++c) table_->setItem(identityRows + r, c, new QTableWidgetItem(shellText(cells[c])));
    }
    table_->resizeColumnToContents(0);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    export_ = new QPushButton(shellText(ctx.texts, EXPORT_TEXT), this);
    export_->setObjectName(QStringLiteral("export"));
    connect(export_, &QPushButton::clicked, this,
            [this] { exportCsv(ctx_, comparisonCsv(ctx_.texts, comparison_)); });
    buttons->addWidget(export_);
    if (!loadPath_.empty()) {
        load_ = new QPushButton(shellText(ctx.texts, LOAD_TEXT), this);
        load_->setObjectName(QStringLiteral("load"));
        connect(load_, &QPushButton::clicked, this, [this] {
            // The comparison is out of date once the file went in.
            load_->setEnabled(false);
            loadComparedFile(ctx_, loadPath_);
        });
        buttons->addWidget(load_);
    }
    buttons->addStretch(1);
    addHelpAndOk(this, buttons, shellText(ctx.texts, HELP_TEXT), help, HELP_ANCHOR);
    layout->addLayout(buttons);
    enterPressesFocusedButton(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    readyForKeyboard(this);
    keepWindowPlace(this, ctx, "comparison");
}
