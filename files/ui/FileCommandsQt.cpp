#include "files/ui/FileCommandsQt.h"

#include <filesystem>

#include "session/AppContext.h"
#include "session/FileChooser.h"
#include "files/Compare.h"
#include "files/FileNames.h"
#include "files/ui/CompareDialog.h"
#include "files/ui/ParameterTextDialog.h"
#include "files/ui/ReportViewDialog.h"

namespace {

template <typename Dialog>
void runFileDialog(AppContext& ctx, QWidget* parent) {
    ctx.window().idle = false;
    auto chosen = chooseFileToOpen(ctx, fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION);
    if (chosen) {
        Dialog dialog(ctx, *chosen, parent);
        dialog.exec();
    }
    ctx.window().RenderPanel();
    ctx.window().idle = true;
}

}  // namespace

void runReportViewCommand(AppContext& ctx, QWidget* parent) { runFileDialog<ReportViewDialog>(ctx, parent); }
void runParameterTextCommand(AppContext& ctx, QWidget* parent) {
    runFileDialog<ParameterTextDialog>(ctx, parent);
}

void runCompareFilesCommand(AppContext& ctx, QWidget* parent, const HelpRequest& help) {
    auto left = chooseParameterFile(ctx, CHOOSE_LEFT_FILE_TEXT);
    if (!left) return;
    auto right = chooseParameterFile(ctx, CHOOSE_RIGHT_FILE_TEXT);
    if (!right) return;
    Comparison comparison;
    if (!compareFiles(ctx, *left, *right, comparison)) return;
    CompareDialog dialog(ctx, std::move(comparison), std::string(), help, parent);
    dialog.exec();
}

void runCompareDeviceCommand(AppContext& ctx, QWidget* parent, const HelpRequest& help) {
    ctx.window().idle = false;
    if (auto file = chooseParameterFile(ctx)) {
        Comparison comparison;
        if (compareDeviceWithFile(ctx, *file, comparison)) {
            ctx.window().RenderPanel();
            // Loading needs the device the restart gave back.
            const std::string loadPath = ctx.window().deviceSelected ? *file : std::string();
            CompareDialog dialog(ctx, std::move(comparison), loadPath, help, parent);
            dialog.exec();
        }
    }
    ctx.window().RenderPanel();
    ctx.window().idle = true;
}
