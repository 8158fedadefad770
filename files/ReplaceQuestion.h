#pragma once
// Before a command writes files beside the one the operator named (the
// report beside a parameter file, "x.NFO" for a chosen "x.txt"), it asks
// before replacing any of them that exists.
#include <string>
#include <vector>

class AppContext;

// True when every path that exists and is not the chosen one may be
// replaced; the question names each file (text 33026). No to one of them
// is false: the command writes nothing.
bool confirmReplacing(AppContext& ctx, const std::string& chosen, const std::vector<std::string>& paths);
