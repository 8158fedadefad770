#pragma once
// The result of a comparison: the parameters that differ and those only one
// side has, with their count, a CSV export and, when the device was compared
// with a file, a button that loads the file into the device.
#include <QDialog>
#include <string>

#include "files/Compare.h"
#include "widgets/HelpButtonQt.h"

class AppContext;
class QLabel;
class QPushButton;
class QTableWidget;

class CompareDialog : public QDialog {
    Q_OBJECT
public:
    // loadPath: the file to offer loading (device comparisons); empty for none.
    CompareDialog(AppContext& ctx, Comparison comparison, std::string loadPath, const HelpRequest& help,
                  QWidget* parent);

    QTableWidget* table() const { return table_; }
    QLabel* countLabel() const { return count_; }
    QLabel* partialLabel() const { return partial_; }
    QLabel* otherDeviceLabel() const { return other_; }
    QPushButton* loadButton() const { return load_; }
    QPushButton* exportButton() const { return export_; }

private:
    // The labels and rows of comparison_.
    void showComparison();
    // The load button: the file in after the load's question, then the
    // device compared again.
    void loadFile();

    AppContext& ctx_;
    Comparison comparison_;
    std::string loadPath_;
    QTableWidget* table_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* partial_ = nullptr;
    QLabel* other_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* export_ = nullptr;
};
