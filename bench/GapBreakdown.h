#pragma once
// Where the master's time between a device's answer and the next request
// goes. The simulator's timing log gives, per transaction, when it read a
// request's first byte and when it wrote the answer's last byte; the
// program's stamp log (FS_LINK_STAMPS, see SerialLink::setStampLog) gives,
// per transaction, the times of the link's own steps, on the same monotonic
// clock. Joined, one gap from an answer to the next settled request falls
// into parts that add up to it:
//   answer read   the simulator wrote the last byte .. the link has it
//   body's end    .. the transaction's body has ended on the worker
//   back to caller   .. the waiting caller has the result
//   caller        .. the caller asks for the next transaction
//   hand-over     .. the worker starts it
//   purge         .. the settle's purge has ended (then the 2 ms settle)
//   late wake     the settle's deadline .. the settle ended
//   write         .. the simulator read the request's first byte
// and, not a part of its own, how late the settle's sleep ended against
// the time it asked for (the clock watch hides what is under the watch).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

struct SimTransaction {
    int64_t requestNs = 0;
    int64_t answeredNs = -1;
    unsigned first = 0;
};

inline std::vector<SimTransaction> readSimTimings(const std::string& path) {
    std::ifstream in(path);
    std::vector<SimTransaction> out;
    long long request = 0, answer = 0;
    unsigned first = 0;
    while (in >> std::dec >> request >> answer >> std::hex >> first) out.push_back({request, answer, first});
    return out;
}

// The link's rows, in the order of the stamp log's columns.
struct LinkRow {
    int64_t kind = 0, call = 0, start = 0, purged = 0, deadline = 0, woke = 0, settled = 0, sent = 0,
            answered = 0, end = 0, back = 0;
};

inline std::vector<LinkRow> readLinkStamps(const std::string& path) {
    std::ifstream in(path);
    std::vector<LinkRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        LinkRow r;
        if (fields >> r.kind >> r.call >> r.start >> r.purged >> r.deadline >> r.woke >> r.settled >> r.sent >>
            r.answered >> r.end >> r.back)
            rows.push_back(r);
    }
    std::sort(rows.begin(), rows.end(), [](const LinkRow& a, const LinkRow& b) { return a.call < b.call; });
    return rows;
}

inline double percentileOf(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t at = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[at];
}

struct GapParts {
    static constexpr int Count = 8;
    static constexpr const char* names[Count] = {"answer read", "body's end", "back to caller", "caller",
                                                 "hand-over",   "purge",      "late wake",      "write"};
    std::vector<double> part[Count];   // milliseconds
    std::vector<double> sleepLate;     // the sleep's end past the time it asked for
    std::vector<double> whole;         // the gap beyond the settle
};

// The settled requests of [fromNs, toNs] whose answer before came within
// longestMs. watchUs: the clock watch the program ran with.
inline GapParts breakDown(const std::vector<SimTransaction>& sim, const std::vector<LinkRow>& link, int64_t fromNs,
                          int64_t toNs, double longestMs, uint32_t watchUs) {
    constexpr int64_t DeselectKind = 1;
    auto ms = [](int64_t ns) { return double(ns) / 1e6; };
    // The simulator's transaction each of the link's went out as, if any.
    std::vector<long> matched(link.size(), -1);
    size_t s = 0;
    for (size_t i = 0; i < link.size(); ++i) {
        while (s < sim.size() && sim[s].requestNs < link[i].call) ++s;
        if (s < sim.size() && link[i].end && sim[s].requestNs <= link[i].end) matched[i] = long(s);
    }
    GapParts out;
    for (size_t i = 1; i < link.size(); ++i) {
        const LinkRow& p = link[i - 1];
        const LinkRow& r = link[i];
        long now = matched[i], before = matched[i - 1];
        if (now < 1 || before != now - 1 || r.kind == DeselectKind || !r.settled || !r.purged || !p.answered) continue;
        const SimTransaction& q = sim[size_t(now)];
        const SimTransaction& a = sim[size_t(before)];
        if (q.requestNs < fromNs || q.requestNs > toNs || a.answeredNs < 0) continue;
        if (ms(q.requestNs - a.answeredNs) > longestMs) continue;
        const double parts[GapParts::Count] = {ms(p.answered - a.answeredNs), ms(p.end - p.answered),
                                               ms(p.back - p.end),
                                               ms(r.call - p.back),           ms(r.start - r.call),
                                               ms(r.purged - r.start),        ms(r.settled - r.deadline),
                                               ms(q.requestNs - r.settled)};
        double sum = 0;
        for (int k = 0; k < GapParts::Count; ++k) {
            out.part[k].push_back(parts[k]);
            sum += parts[k];
        }
        out.whole.push_back(sum);
        if (r.woke) out.sleepLate.push_back(ms(r.woke - (r.deadline - int64_t(watchUs) * 1000)));
    }
    return out;
}

inline void printBreakdown(FILE* to, const char* title, const GapParts& parts) {
    std::fprintf(to, "%s: %zu gaps, ms as median / 99th pct\n", title, parts.whole.size());
    for (int k = 0; k < GapParts::Count; ++k)
        std::fprintf(to, "  %-15s %7.3f / %7.3f\n", GapParts::names[k], percentileOf(parts.part[k], 0.5),
                     percentileOf(parts.part[k], 0.99));
    std::fprintf(to, "  %-15s %7.3f / %7.3f\n", "all beyond settle", percentileOf(parts.whole, 0.5),
                 percentileOf(parts.whole, 0.99));
    if (!parts.sleepLate.empty())
        std::fprintf(to, "  (the settle's sleep ended %.3f / %.3f ms past the time it asked for, of %zu sleeps)\n",
                     percentileOf(parts.sleepLate, 0.5), percentileOf(parts.sleepLate, 0.99), parts.sleepLate.size());
}

}  // namespace bench
