#include "files/ui/FileCommandsQt.h"

#include <filesystem>

#include "session/AppContext.h"
#include "files/FileNames.h"
#include "files/ui/ParameterTextDialog.h"
#include "files/ui/ReportViewDialog.h"

namespace {

template <typename Dialog>
void runFileDialog(AppContext& ctx, QWidget* parent) {
    ctx.window().idle = false;
    std::error_code ec;
    std::string here = std::filesystem::current_path(ec).string();
    auto chosen = ctx.ui().chooseOpenFile(FileChoice{fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION, here});
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
