#pragma once
// The address dialog (dialog 110): the bus address in hex and arrows that
// step over the addresses a device may take.

#include <QDialog>
#include <cstdint>
#include <optional>

class AppContext;

class QLabel;
class UpDownControl;

class AddressDialog : public QDialog {
    Q_OBJECT
public:
    AddressDialog(const AppContext& ctx, QWidget* parent, uint8_t start);
    uint8_t address() const { return address_; }
    QLabel* addressLabel() const { return label_; }
    UpDownControl* upDown() const { return upDown_; }

    // Runs the dialog; the address shown at OK, nothing after Cancel.
    static std::optional<uint8_t> ask(const AppContext& ctx, QWidget* parent, uint8_t start);

private:
    void moved(int position);

    QLabel* label_;
    UpDownControl* upDown_;
    uint8_t address_;
};
