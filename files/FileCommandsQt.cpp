#include "files/FileCommandsQt.h"

#include <filesystem>

#include "app/AppState.h"
#include "files/FileNames.h"
#include "files/ParameterTextDialog.h"
#include "files/ReportViewDialog.h"

namespace {

template <typename Dialog>
void runFileDialog(QWidget* parent) {
    frame().idle = false;
    std::error_code ec;
    std::string here = std::filesystem::current_path(ec).string();
    auto chosen = ui().chooseOpenFile(FileChoice{fileFilter(PARAMETER_EXTENSION), PARAMETER_EXTENSION, here});
    if (chosen) {
        Dialog dialog(*chosen, parent);
        dialog.exec();
    }
    frame().RenderPanel();
    frame().idle = true;
}

}  // namespace

void runReportViewCommand(QWidget* parent) { runFileDialog<ReportViewDialog>(parent); }
void runParameterTextCommand(QWidget* parent) { runFileDialog<ParameterTextDialog>(parent); }
