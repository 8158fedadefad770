#pragma once
// Values that moved while a device was read (counters, measured values):
// what the operator reads about them and what the service history keeps.
#include <string>
#include <vector>

#include "params/ConfirmedRead.h"

struct LanguageTexts;

// "N parameters changed while they were read ..." and a line per
// parameter: number, description, the values seen. Empty for none.
std::string movingValuesReport(const LanguageTexts& texts, const std::vector<MovingValue>& moving);
// The history's words for them: "moving: 0160 23456>23457; 0164 398>399".
// Empty for none.
std::string movingValuesDetail(const std::vector<MovingValue>& moving);
// The numbers only.
std::vector<ParameterNumber> movingNumbers(const std::vector<MovingValue>& moving);
