#include <filesystem>

#include "app/AppState.h"
#include "app/DeviceSteps.h"
#include "files/FileNames.h"
#include "files/ParameterFiles.h"

void saveParameterFile() {
    frame().idle = false;
    std::error_code ec;
    std::string here = std::filesystem::current_path(ec).string();
    auto chosen = ui().chooseSaveFile(FileChoice{fileFilter(PARAMETER_EXTENSION), PARAMETER_EXTENSION, here});
    if (chosen) {
        MemoryStream stream;
        if (writeParameterText(stream)) writeSealedFile(*chosen, stream);
        // Reading the device opened extended access; only a restart closes it,
        // whether or not the file was written.
        restartAndReport();
    }
    frame().RenderPanel();
    frame().idle = true;
}
