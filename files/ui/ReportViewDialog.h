#pragma once
// The report of a parameter file, read-only, with buttons that save it,
// print it and export it as a PDF.
#include "files/ui/FileViewDialog.h"
#include "files/ViewerModel.h"

class QPushButton;

class ReportViewDialog : public FileViewDialog {
    Q_OBJECT
public:
    ReportViewDialog(AppContext& ctx, const std::string& path, QWidget* parent);

    const std::string& report() const { return report_; }
    QPushButton* printButton() const { return print_; }
    QPushButton* pdfButton() const { return pdf_; }

protected:
    void onSave() override;

private:
    void onPrint();
    void onPdf();

    AppContext& ctx_;
    ReportViewModel model_;
    std::string report_;
    QPushButton* print_ = nullptr;
    QPushButton* pdf_ = nullptr;
};
