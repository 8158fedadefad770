#include "platform/StampRing.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

StampRing::StampRing(size_t rows, std::vector<std::string> columns)
    : columns_(std::move(columns)),
      stamps_(std::max<size_t>(rows, 1) * columns_.size()),
      rows_(std::max<size_t>(rows, 1)) {}

int64_t* StampRing::take() {
    int64_t* row = stamps_.data() + next_ * columns_.size();
    std::fill(row, row + columns_.size(), 0);
    next_ = (next_ + 1) % rows_;
    if (taken_ < rows_) ++taken_;
    return row;
}

bool StampRing::appendTo(const std::string& path, const std::string& title) const {
    std::string text = "# " + title + ":";
    for (const std::string& c : columns_) text += " " + c;
    text += '\n';
    size_t first = taken_ < rows_ ? 0 : next_;
    for (size_t n = 0; n < taken_; ++n) {
        const int64_t* row = stamps_.data() + ((first + n) % rows_) * columns_.size();
        for (size_t c = 0; c < columns_.size(); ++c) {
            if (c) text += ' ';
            text += std::to_string(row[c]);
        }
        text += '\n';
    }
    // The whole text at once on a file opened for appending: several links
    // ending at once each land as a block of their own.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += size_t(n);
    }
    bool ok = done == text.size();
    return ::close(fd) == 0 && ok;
}

int64_t StampRing::now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
