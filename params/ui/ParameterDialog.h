#pragma once
// The parameter dialog (dialog 105): presents ParameterDialogModel. Every
// control carries its dialog id as object name.

#include <QDialog>
#include <memory>

#include "params/ParameterDialogModel.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class UpDownControl;

class ParameterDialog : public QDialog {
    Q_OBJECT
public:
    // mode 0 for command 40007, -1 for 40009.
    ParameterDialog(AppContext& ctx, QWidget* parent, int mode);
    ~ParameterDialog() override;

    // Runs the opening sequence; false when it already closed the dialog.
    bool start();
    ParameterDialogModel& model() { return *model_; }

public slots:
    void reject() override;   // Escape and the close box

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void mirror();
    void numberEdited(const QString& text);
    void valueEdited(const QString& text);
    void sliderChanged(int position);

    AppContext& ctx_;
    std::unique_ptr<ParameterDialogModel> model_;
    QGroupBox* outerFrame_ = nullptr;
    QLineEdit* numberField_ = nullptr;
    UpDownControl* upDown_ = nullptr;
    QPlainTextEdit* descriptionField_ = nullptr;
    QLineEdit* valueField_ = nullptr;
    QLabel* valueNote_ = nullptr;   // 1412: what a typed value becomes
    QSlider* slider_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    // An 8-digit value does not fit the slider's int range: above it the
    // slider works in steps of two (the model keeps the exact value).
    uint32_t sliderScale_ = 1;
    bool waitCursorShown_ = false;
    unsigned appliedFocusRequests_ = 0;
    bool finished_ = false;
};
