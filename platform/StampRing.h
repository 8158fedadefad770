#pragma once
// Timestamps of a timed path, kept for a benchmark that asks for them: a
// fixed number of rows of monotonic nanosecond stamps, allocated once when
// the ring is made, the oldest rows overwritten once it is full. Taking a
// row and stamping it allocate nothing and call nothing but the clock; the
// rows go out as text only when the owner is done (appendTo).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class StampRing {
public:
    // columns: the names of a row's stamps, in order (the text's heading).
    StampRing(size_t rows, std::vector<std::string> columns);

    // The next row, all stamps 0; overwrites the oldest once the ring is full.
    int64_t* take();
    size_t columns() const { return columns_.size(); }
    // Appends a heading line "# <title>: <columns>" and one line per row,
    // oldest first, to the file at path; false when it could not be
    // written.
    bool appendTo(const std::string& path, const std::string& title) const;

    // CLOCK_MONOTONIC in nanoseconds, the clock of every stamp.
    static int64_t now();

private:
    std::vector<std::string> columns_;
    std::vector<int64_t> stamps_;
    size_t rows_;
    size_t next_ = 0;
    size_t taken_ = 0;
};
