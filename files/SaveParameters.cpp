#include <filesystem>

#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "files/FileNames.h"
#include "files/ParameterFiles.h"

void saveParameterFile(AppContext& ctx) {
    ctx.window().idle = false;
    std::error_code ec;
    std::string here = std::filesystem::current_path(ec).string();
    auto chosen = ctx.ui().chooseSaveFile(FileChoice{fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION, here});
    if (chosen) {
        MemoryStream stream;
        if (writeParameterText(ctx, stream)) writeSealedFile(ctx, *chosen, stream);
        // Reading the device opened extended access; only a restart closes it,
        // whether or not the file was written.
        restartAndReport(ctx);
    }
    ctx.window().RenderPanel();
    ctx.window().idle = true;
}
