#include "files/ReplaceQuestion.h"

#include <filesystem>

#include "session/AppContext.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t REPLACE_QUESTION_TEXT = 33026;   // "%s already exists. Replace it?"
}  // namespace

bool confirmReplacing(AppContext& ctx, const std::string& chosen, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (path == chosen) continue;   // the file chooser asked about that one
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec)) || ec) continue;
        const std::string text = fillText(ctx.message(REPLACE_QUESTION_TEXT), {path});
        if (!ctx.ui().question(ctx.settings.windowTitle, text)) return false;
    }
    return true;
}
