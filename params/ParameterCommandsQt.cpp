#include "params/ParameterCommandsQt.h"

#include "app/AppState.h"
#include "params/AddressDialog.h"
#include "params/DeviceCommands.h"
#include "params/ParameterDialog.h"
#include "params/PasswordDialog.h"

void runParameterDialog(QWidget* parent, int mode) {
    // The status poll must not fall between the dialog's transactions.
    frame().idle = false;
    {
        ParameterDialog dialog(parent, mode);
        if (dialog.start()) dialog.exec();
    }
    frame().idle = true;
    frame().RenderPanel();
}

void runPasswordCommand(QWidget* parent, bool command40013) {
    changePasswordCommand(command40013, [parent](uint32_t current) {
        return PasswordDialog::ask(parent, current);
    });
}

void runAddressCommand(QWidget* parent) {
    changeAddressCommand([parent](uint8_t start) { return AddressDialog::ask(parent, start); });
}

void runRestartCommand(QWidget*) { restartCommand(); }
