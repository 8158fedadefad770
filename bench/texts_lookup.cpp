// Lookups in a language file of 16,000 entries: the index TextTable builds
// when it loads a file against the plain walk from the start of the file that
// the file format describes (TextTable::LookupByScan). The file holds its
// entries out of order, some numbers twice (the first one counts) and texts
// of one or several lines.
//
// The index looks up every number of the file and 4,000 absent ones, twenty
// times over (one round takes only milliseconds); the walk, which costs a
// pass over half the file per lookup, looks up every 16th of those once. Every number the walk looked up must give the same text from
// both; every number the index looked up must give the text the file holds.
// Figures: lookups per second of each, and their ratio.
//
//   texts_lookup [work folder]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "GeneratedInputs.h"
#include "Timing.h"
#include "WorkFolder.h"
#include "texts/TextTable.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    fs::path work = bench::workFolder(argc, argv);
    const char* ratioName = "texts: index / plain scan speed";
    constexpr unsigned Entries = 16000;
    constexpr unsigned Duplicates = 160;

    // Numbers 0x0100, 0x0102, ... in an order a linear congruence shuffles,
    // then a few of them again with other texts.
    std::vector<bench::LanguageEntry> entries;
    std::map<uint32_t, std::string> expected;
    for (unsigned i = 0; i < Entries - Duplicates; ++i) {
        unsigned k = (i * 7919u) % (Entries - Duplicates);
        uint32_t number = bench::parameterNumber(k);
        std::string text = bench::description(k);
        if (k % 97 == 5) text += "\r\nsecond line > of the text";
        entries.push_back({number, text});
        expected[number] = text;
    }
    for (unsigned i = 0; i < Duplicates; ++i)
        entries.push_back({bench::parameterNumber(i * 90), "a later entry of the same number"});

    std::error_code ec;
    fs::create_directories(work, ec);
    std::string path = (work / "parameters.lookup").string();
    std::ofstream(path, std::ios::binary) << bench::languageFile(entries);
    TextTable table;
    if (!table.Load(path)) {
        bench::missing(ratioName, "cannot load " + path);
        return 1;
    }
    fs::remove(path, ec);

    // Present numbers, then absent ones between them.
    std::vector<uint32_t> keys;
    for (const auto& [number, text] : expected) keys.push_back(number);
    for (unsigned i = 0; i < 4000; ++i) keys.push_back(bench::parameterNumber(i * 4) + 1);

    constexpr int Rounds = 20;
    unsigned wrong = 0;
    std::vector<std::string> byIndex(keys.size());
    auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < Rounds; ++round)
        for (size_t i = 0; i < keys.size(); ++i) byIndex[i] = table.Lookup(keys[i]);
    double indexSeconds = bench::secondsSince(start);
    for (size_t i = 0; i < keys.size(); ++i) {
        auto it = expected.find(keys[i]);
        if (byIndex[i] != (it == expected.end() ? std::string() : it->second)) ++wrong;
    }

    size_t scanned = 0;
    start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < keys.size(); i += 16, ++scanned)
        if (table.LookupByScan(keys[i]) != byIndex[i]) ++wrong;
    double scanSeconds = bench::secondsSince(start);

    double indexRate = double(keys.size()) * Rounds / indexSeconds;
    double scanRate = double(scanned) / scanSeconds;
    std::fprintf(stderr, "texts_lookup: %zu entries; index %zu lookups in %.4f s, scan %zu in %.3f s; %u wrong\n",
                 entries.size(), keys.size() * Rounds, indexSeconds, scanned, scanSeconds, wrong);
    if (wrong) {
        bench::missing(ratioName, std::to_string(wrong) + " lookups gave the wrong text");
        return 1;
    }
    bench::figure("texts: index lookups per s", indexRate, "/s", bench::Goal::None, 0, 0);
    bench::figure("texts: plain scan lookups per s", scanRate, "/s", bench::Goal::None, 0, 0);
    return bench::figure(ratioName, indexRate / scanRate, "x", bench::Goal::AtLeast, 50, 0) ? 0 : 1;
}
