#include "files/ui/ReportViewDialog.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <filesystem>

#include "files/FileNames.h"
#include "files/ui/ReportPrinter.h"
#include "session/AppContext.h"
#include "session/FileChooser.h"
#include "session/ui/WindowPlaceQt.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/DialogUnitsQt.h"
#include "widgets/ShellTextQt.h"

namespace {
constexpr uint32_t PRINT_TEXT = 33128;
constexpr uint32_t PDF_TEXT = 33129;
constexpr uint32_t PDF_FILES_TEXT = 33130;
constexpr uint32_t SAVED_FILE_TEXT = 33033;   // "Saved %s"
}  // namespace

ReportViewDialog::ReportViewDialog(AppContext& ctx, const std::string& path, QWidget* parent)
    : FileViewDialog(ctx, parent, 2560, false), ctx_(ctx), model_(ctx, path) {
    report_ = model_.open();
    showAreaText(report_);

    // Left of the save button, on its row.
    const DialogUnits du(this);
    print_ = new QPushButton(shellText(ctx.message(PRINT_TEXT)), this);
    print_->setObjectName(QStringLiteral("print"));
    print_->setGeometry(du.rect(311, 164, 50, 14));
    connect(print_, &QPushButton::clicked, this, &ReportViewDialog::onPrint);
    pdf_ = new QPushButton(shellText(ctx.message(PDF_TEXT)), this);
    pdf_->setObjectName(QStringLiteral("pdf"));
    pdf_->setGeometry(du.rect(364, 164, 50, 14));
    connect(pdf_, &QPushButton::clicked, this, &ReportViewDialog::onPdf);
    print_->setEnabled(!report_.empty());
    pdf_->setEnabled(!report_.empty());
    enterPressesFocusedButton(this);
    keepAtCorner(print_);
    keepAtCorner(pdf_);
    readyForKeyboard(this);
    keepWindowPlace(this, ctx, "report_viewer");
}

void ReportViewDialog::onSave() { model_.save(); }

void ReportViewDialog::onPrint() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(printJobName(model_.path())));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!paintReport(ctx_, printer, report_, model_.heading())) ctx_.showText(4);
}

void ReportViewDialog::onPdf() {
    auto chosen = chooseFileToSave(ctx_, ctx_.message(PDF_FILES_TEXT) + " (*.pdf)|*.pdf|", "pdf",
                                   fileNameWithExtension(model_.path(), "pdf"));
    if (!chosen) return;
    if (writeReportPdf(ctx_, *chosen, report_, model_.heading())) ctx_.notifyText(SAVED_FILE_TEXT, {*chosen});
}
