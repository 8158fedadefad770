#include "files/Format.h"

#include <cstdarg>
#include <cstdio>

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int needed = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (needed > 0) {
        out.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<size_t>(needed));
    }
    va_end(again);
    return out;
}
