#pragma once
// Every parameter of the connected device in one table: number, description,
// value, kind and access, a filter box, sortable columns, values edited in
// place, a button that writes the changed ones and a CSV export. What the
// table does lives in ParameterTable; this window shows it.
#include <QDialog>

#include "params/ParameterTable.h"
#include "widgets/HelpButtonQt.h"

class AppContext;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

class ParameterTableDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { NumberColumn, DescriptionColumn, ValueColumn, KindColumn, AccessColumn };

    ParameterTableDialog(AppContext& ctx, const HelpRequest& help, QWidget* parent);
    // Reads the device. False when nothing could be read (the access was
    // refused, or the walk was cancelled before the first parameter): no
    // window then.
    bool start(const WalkOptions& options = {});
    // The restart owed to the device goes out when the window closes.
    void done(int result) override;

    ParameterTable& model() { return model_; }
    QTableWidget* table() const { return table_; }
    QLineEdit* filterBox() const { return filter_; }
    QLabel* partialLabel() const { return partial_; }
    QPushButton* writeButton() const { return write_; }
    QPushButton* revertButton() const { return revert_; }
    QLabel* pendingLabel() const { return pending_; }
    QLabel* noteLabel() const { return note_; }
    QCheckBox* shownOnlyBox() const { return shownOnly_; }

private:
    void fillTable();
    void applyFilter();
    // The text for a count: one for 1, many for any other.
    std::string counted(uint32_t one, uint32_t many, size_t n) const;
    void keepCurrentCellShown();
    void valueEdited(QTableWidgetItem* item);
    void showRowState(int tableRow, size_t modelRow, const EditResult* edit = nullptr);
    void showAllRows();
    void showPending();
    void revertCurrent();
    // Reads every value again; what changed is marked as moving.
    void updateValues();
    // Asks to write the plan, writes it and says what was written. False
    // when the operator said no or a write failed.
    bool writeChanges();
    bool writeConfirmed();
    // Write / Discard / Cancel for unwritten edits; true when the window may close.
    bool settlePendingEdits();

    AppContext& ctx_;
    ParameterTable model_;
    QTableWidget* table_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* partial_ = nullptr;
    QPushButton* write_ = nullptr;
    QPushButton* revert_ = nullptr;
    QLabel* pending_ = nullptr;
    QLabel* note_ = nullptr;
    QCheckBox* shownOnly_ = nullptr;
    bool filling_ = false;
    bool closing_ = false;
    // The last commit of an editor changed its item (valueEdited ran).
    bool itemChangedByEdit_ = false;
};
