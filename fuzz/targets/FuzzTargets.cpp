#include "FuzzTargets.h"

const FuzzTarget FUZZ_TARGETS[] = {
    {"text_table", fuzzTextTable},     {"profile", fuzzProfile},
    {"sealed_report", fuzzSealedReport}, {"load_check", fuzzLoadCheck},
    {"nibble_read", fuzzNibbleRead},   {"scanf_readers", fuzzScanfReaders},
    {nullptr, nullptr},
};

const FuzzTarget* findFuzzTarget(const std::string& name) {
    for (const FuzzTarget* t = FUZZ_TARGETS; t->name; ++t)
        if (name == t->name) return t;
    return nullptr;
}
