#include <unistd.h>

#include <filesystem>

#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "session/FileChooser.h"
#include "files/FileNames.h"
#include "files/LocalDate.h"
#include "files/MovingValues.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"
#include "link/DeviceLink.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/JournalRecords.h"
#include "files/ReplaceQuestion.h"
#include "session/JournalEntry.h"

namespace {
constexpr uint32_t SAVED_TEXT = 33028;   // "Saved %u parameters to %s"
constexpr uint32_t PASSWORD_WITHHELD_TEXT = 0x826C;
constexpr uint32_t SAVED_ONE_TEXT = 0x82CD;     // "Saved 1 parameter to %s"
constexpr uint32_t CANCELLED_TEXT = 0x82CE;     // "The save was cancelled: no file was written."

size_t countParameters(const MemoryStream& stream) {
    const std::string text = stream.str();
    size_t count = 0;
    for (size_t at = text.find(KEY_CODE); at != std::string::npos; at = text.find(KEY_CODE, at + 1)) ++count;
    return count;
}

// Reading a device takes minutes; a folder that cannot take the files is
// told before that, not after.
bool folderWritable(const std::string& path) {
    std::error_code ec;
    std::string folder = std::filesystem::absolute(path, ec).parent_path().string();
    return !ec && ::access(folder.c_str(), W_OK | X_OK) == 0;
}
}  // namespace

std::string readNotesText(const LanguageTexts& texts, const ReadNotes& notes) {
    std::string out = movingValuesReport(texts, notes.moving);
    if (notes.passwordWithheld) out += (out.empty() ? "" : "\n\n") + texts.messages.Lookup(PASSWORD_WITHHELD_TEXT);
    return out;
}

bool writeParameterFileTo(AppContext& ctx, const std::string& path, MemoryStream& stream, ReadNotes* notes,
                          std::atomic<bool>* cancel) {
    const std::string file = withExtension(path, PARAMETER_EXTENSION);
    JournalEntry entry(ctx, JournalOperation::Save, file);
    std::string seal;
    ReadNotes read;
    if (!writeParameterText(ctx, stream, &read, cancel)) {
        if (notes) notes->cancelled = read.cancelled;
        return false;
    }
    if (!writeSealedFile(ctx, path, stream, &seal)) return false;
    recordSavedFile(entry, seal, stream.str());
    entry.record().detail = movingValuesDetail(read.moving);
    if (notes) *notes = std::move(read);
    return true;
}

void saveParameterFile(AppContext& ctx) {
    ctx.window().idle = false;
    auto chosen = chooseFileToSave(ctx, fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION,
                                   proposedFileName(ctx.link.deviceName, ctx.link.selectedAddress,
                                                    currentLocalDate(), PARAMETER_EXTENSION));
    if (chosen && !folderWritable(*chosen)) {
        ctx.showFileText(4, withExtension(*chosen, PARAMETER_EXTENSION));
        chosen.reset();
    }
    // The pair is written beside the chosen name; the chooser asked about
    // that name only.
    if (chosen && confirmReplacing(ctx, *chosen, {withExtension(*chosen, PARAMETER_EXTENSION),
                                                  withExtension(*chosen, REPORT_EXTENSION)})) {
        MemoryStream stream;
        ReadNotes notes;
        std::atomic<bool> cancel{false};
        if (writeParameterFileTo(ctx, *chosen, stream, &notes, &cancel)) {
            const size_t count = countParameters(stream);
            const std::string file = withExtension(*chosen, PARAMETER_EXTENSION);
            const std::string saved = count == 1 ? fillText(ctx.message(SAVED_ONE_TEXT), {file})
                                                 : fillText(ctx.message(SAVED_TEXT), {std::to_string(count), file});
            const std::string more = readNotesText(ctx.texts, notes);
            // Told in passing when all is plain; what moved is worth a look.
            if (more.empty())
                ctx.ui().notify(saved);
            else
                ctx.showMessage(saved + "\n\n" + more, MessageIcon::Information);
        } else if (notes.cancelled) {
            ctx.ui().notify(ctx.message(CANCELLED_TEXT));
        }
        // Reading the device opened extended access; only a restart closes it,
        // whether or not the file was written.
        restartAndReport(ctx);
    }
    ctx.window().RenderPanel();
    ctx.window().idle = true;
}
