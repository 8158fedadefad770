#include "session/PlantTexts.h"

#include "session/AppContext.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t PLANT_FAILED_TEXT = 0x82E0;
constexpr uint32_t PLANT_NEWER_TEXT = 0x82E1;
constexpr uint32_t PLANT_FOREIGN_TEXT = 0x82E2;
constexpr uint32_t PLANT_BAD_SETTING_TEXT = 0x82E3;
}  // namespace

std::string plantProblemText(const AppContext& ctx, const PlantSendState& state) {
    const std::string waiting = state.waiting < 0 ? std::string("?") : std::to_string(state.waiting);
    switch (state.problem) {
    case PlantProblem::BadSetting: return fillText(ctx.message(PLANT_BAD_SETTING_TEXT), {state.text});
    case PlantProblem::Foreign: return fillText(ctx.message(PLANT_FOREIGN_TEXT), {state.server, state.text});
    case PlantProblem::NewerSchema: return fillText(ctx.message(PLANT_NEWER_TEXT), {state.server, state.text, waiting});
    default: return fillText(ctx.message(PLANT_FAILED_TEXT), {state.server, state.text, waiting});
    }
}

void tellPlantProblem(AppContext& ctx) {
    if (!ctx.plant) return;
    if (const std::optional<PlantSendState> state = ctx.plant->takeNewProblem())
        ctx.ui().notify(plantProblemText(ctx, *state));
}
