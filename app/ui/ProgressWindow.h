#pragma once
// The progress pop-up: a framed group box with a caption line and a bar that
// follows a counter written by the running operation. The counter is read
// every 100 ms; the bar never moves back and stays full past the maximum.
// It cannot be closed by the operator: it goes when the operation ends. With
// a cancel flag it has a Cancel button (Escape presses it) that sets the flag,
// which the operation reads between its steps.
#include <QDialog>
#include <atomic>
#include <cstdint>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    ProgressWindow(const uint32_t* counter, uint32_t maximum, const QString& groupText,
                   const QString& caption, const QString& title, std::atomic<bool>* cancelled = nullptr,
                   const QString& cancelText = QString());
    ~ProgressWindow() override;

    uint32_t shownPosition() const { return shownPosition_; }
    QProgressBar* bar() const { return bar_; }
    QLabel* captionLabel() const { return caption_; }
    QGroupBox* groupBox() const { return group_; }
    QPushButton* cancelButton() const { return cancel_; }

    // Reads the counter once, as the timer does.
    void readCounter();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    const uint32_t* counter_;
    uint32_t maximum_;
    uint32_t shownPosition_ = 0;
    QGroupBox* group_;
    QLabel* caption_;
    QProgressBar* bar_;
    QTimer* timer_;
    std::atomic<bool>* cancelled_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
