#include "app/HistorySync.h"

#include "session/AppContext.h"
#include "session/JournalEntry.h"
#include "session/PlantServer.h"
#include "session/PlantTexts.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t HISTORY_OFF_TEXT = 33364;
// One call waits at most the server's bound; the whole send ends here at
// the latest, and what is left waits for the next.
constexpr int64_t SYNC_MS = 10 * 60 * 1000;
}  // namespace

int syncPlantHistory(AppContext& ctx) {
    if (ctx.settings.historyServer.empty()) {
        ctx.showText(PLANT_NO_SERVER_TEXT);
        return 1;
    }
    if (!ctx.journal || !ctx.journal->enabled()) {
        ctx.showText(HISTORY_OFF_TEXT);
        return 1;
    }
    PlantServer server(ctx.settings.historyServer);
    const PlantSendResult result = server.send(*ctx.journal, PlantServer::nowMs() + SYNC_MS);
    if (server.problem() != PlantProblem::None) {
        ctx.showMessage(plantProblemText(ctx, {server.problem(), server.name(), server.problemText(), result.waiting}));
        return 1;
    }
    if (result.waiting != 0) {
        // The journal itself could not be read or written.
        tellJournalProblem(ctx);
        return 1;
    }
    if (result.clockSkew >= PLANT_CLOCK_SKEW_TOLD)
        ctx.showMessage(fillText(ctx.message(PLANT_CLOCK_TEXT), {server.name(), std::to_string((result.clockSkew + 30) / 60)}),
                        MessageIcon::Information);
    ctx.showMessage(fillText(ctx.message(PLANT_SENT_TEXT), {server.name(), std::to_string(result.sent)}),
                    MessageIcon::Information);
    return 0;
}
