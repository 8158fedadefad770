#pragma once
// What the operator is told of the plant's server: a send's problem, the
// plant's view that could not be read. Every text names the server
// ("host:port/database"), never its password.
#include <cstdint>
#include <string>

#include "session/PlantSender.h"

class AppContext;

inline constexpr uint32_t PLANT_SENT_TEXT = 0x82E4;      // "Every entry ... is on the plant's server %s (%s sent now)."
inline constexpr uint32_t PLANT_UNREAD_TEXT = 0x82E5;    // "The plant's history on %s could not be read (%s); ..."
inline constexpr uint32_t PLANT_NOT_SENT_TEXT = 0x82E6;  // "not sent yet"
inline constexpr uint32_t PLANT_NO_SERVER_TEXT = 0x82E9; // "No plant history server is set ..."
inline constexpr uint32_t PLANT_CLOCK_TEXT = 0x82EA;     // "The clock of this laptop and that of %s differ by %s minutes ..."

// The message for a send (or a reading) that met problem.
std::string plantProblemText(const AppContext& ctx, const PlantSendState& state);
// Tells the operator in passing (it stops no work) of the background
// send's problem when it is a new one.
void tellPlantProblem(AppContext& ctx);
