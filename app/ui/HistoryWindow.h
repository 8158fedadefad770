#pragma once
// The History window: the devices the service history has seen, one
// device's entries newest first with a filter by operation, outcome and text, one
// parameter's values over time, and the way back: an entry's file (a save,
// a load's backup) compared with the device or loaded into it through the
// safe load, or two entries' files compared. It shows what HistoryModel
// gives; it never touches the database.
#include <QDialog>

#include "app/HistoryModel.h"
#include "widgets/HelpButtonQt.h"

class AppContext;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
class QTableWidget;
class HistoryTableModel;

class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    HistoryWindow(AppContext& ctx, const HelpRequest& help, QWidget* parent);

    HistoryModel& model() { return model_; }
    QListWidget* deviceList() const { return devices_; }
    QTableView* entryTable() const { return table_; }
    QComboBox* operationBox() const { return operation_; }
    // All, done, failed, interrupted (in the order of EntryState after "all").
    QComboBox* outcomeBox() const { return outcome_; }
    QLineEdit* searchField() const { return search_; }
    QComboBox* parameterBox() const { return parameter_; }
    QTableWidget* valueTable() const { return values_; }
    QLabel* noteLabel() const { return note_; }
    QPushButton* compareDeviceButton() const { return compareDevice_; }
    QPushButton* loadButton() const { return load_; }
    QPushButton* compareEntriesButton() const { return compareEntries_; }

    // The actions on the selected entries (the buttons call these).
    void compareWithDevice();
    void loadIntoDevice();
    void compareEntries();

private:
    void reload();
    void showEntries();
    void fillParameters();
    void showValues();
    void selectionChanged();
    std::vector<size_t> selectedRows() const;
    // The selected entry's file, when there is one and it is there; the
    // operator is told otherwise.
    std::string fileOfSelection();
    bool deviceReady();
    // The note under the entries: the history switched off, a query that
    // failed, the files of the selection that are missing; nothing else.
    void showNote();
    // The connected device answers, and is the selected entry's device or
    // the operator said to load into it all the same.
    bool loadTargetConfirmed(size_t row);

    AppContext& ctx_;
    HelpRequest help_;
    HistoryModel model_;
    HistoryTableModel* tableModel_ = nullptr;
    QListWidget* devices_ = nullptr;
    QComboBox* operation_ = nullptr;
    QComboBox* outcome_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* compareDevice_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* compareEntries_ = nullptr;
    QComboBox* parameter_ = nullptr;
    QTableWidget* values_ = nullptr;
};

// Opens the window modally (the main window's History command).
void runHistoryWindow(AppContext& ctx, QWidget* parent, const HelpRequest& help);
