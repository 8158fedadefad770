#pragma once
// The password dialog (dialog 106): a masked field that takes at most five
// typed digits and shows the stored password whole, however long it is.

#include <QDialog>
#include <cstdint>
#include <optional>

class AppContext;

class QLineEdit;

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    PasswordDialog(const AppContext& ctx, QWidget* parent, uint32_t current);
    // The value entered: the field read as a decimal number, 0 when empty.
    uint32_t value() const;
    QLineEdit* field() const { return field_; }

    // Runs the dialog; the value after OK, nothing after Cancel.
    static std::optional<uint32_t> ask(const AppContext& ctx, QWidget* parent, uint32_t current);

private:
    QLineEdit* field_;
};
