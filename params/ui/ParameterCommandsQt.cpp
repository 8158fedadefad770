#include "params/ui/ParameterCommandsQt.h"

#include "session/AppContext.h"
#include "params/ui/AddressDialog.h"
#include "params/DeviceCommands.h"
#include "params/ui/ParameterDialog.h"
#include "params/ui/ParameterTableDialog.h"
#include "params/ui/PasswordDialog.h"

void runParameterDialog(AppContext& ctx, QWidget* parent, int mode) {
    // The status poll must not fall between the dialog's transactions.
    ctx.window().idle = false;
    {
        ParameterDialog dialog(ctx, parent, mode);
        if (dialog.start()) dialog.exec();
    }
    ctx.window().idle = true;
    ctx.window().RenderPanel();
}

void runPasswordCommand(AppContext& ctx, QWidget* parent, bool command40013) {
    changePasswordCommand(ctx, command40013, [&ctx, parent](uint32_t current) {
        return PasswordDialog::ask(ctx, parent, current);
    });
}

void runAddressCommand(AppContext& ctx, QWidget* parent) {
    changeAddressCommand(ctx, [&ctx, parent](uint8_t start) { return AddressDialog::ask(ctx, parent, start); });
}

void runRestartCommand(AppContext& ctx, QWidget*) { restartCommand(ctx); }

void runParameterTableCommand(AppContext& ctx, QWidget* parent, const HelpRequest& help) {
    // The status poll must not fall between the walk's transactions.
    ctx.window().idle = false;
    {
        ParameterTableDialog dialog(ctx, help, parent);
        if (dialog.start()) dialog.exec();
    }
    ctx.window().idle = true;
    ctx.window().RenderPanel();
}
