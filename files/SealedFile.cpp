// Writing and reading parameter files: the parameter text sealed between
// "#CBEG: " and "#CEND: ", its seed after "#CRPT: " and its checksum after
// "#END.: ".
#include <cstring>

#include "session/AppContext.h"
#include "files/AtomicFile.h"
#include "files/FileNames.h"
#include "files/Format.h"
#include "files/ParameterFiles.h"
#include "files/ReportContent.h"
#include "files/ScanfLike.h"
#include "files/SealedBlock.h"
#include "platform/Clock.h"

namespace {

// Parameter files are a few kilobytes; anything beyond this is no parameter
// file and is refused as unreadable rather than read whole.
constexpr size_t MAX_PARAMETER_FILE = 16u * 1024 * 1024;

uint32_t nextSeed(AppContext& ctx) {
    if (!ctx.seedClock) ctx.seedClock = monotonicClock();
    return ctx.seedClock ? sealSeed(*ctx.seedClock) : FALLBACK_SEED;
}

bool containsKey(const std::string& data, const char* key) { return data.find(key) != std::string::npos; }

}  // namespace

uint32_t sealSeed(Clock& clock) {
    int64_t ticks = 0;
    if (!clock.now(ticks)) return FALLBACK_SEED;
    uint64_t count = static_cast<uint64_t>(ticks);
    return static_cast<uint32_t>(count) + static_cast<uint32_t>(count >> 32);
}

bool writeSealedFile(AppContext& ctx, const std::string& path, MemoryStream& stream, std::string* seal) {
    // The report first: without it no parameter file is written. Both go
    // to disk before either replaces an earlier file, so a failure leaves
    // an earlier pair as it was.
    std::string report;
    PendingFile reportFile;
    if (!reportFileContent(ctx.texts, stream, false, report) ||
        !reportFile.write(withExtension(path, REPORT_EXTENSION), report)) {
        ctx.showFileText(4, withExtension(path, REPORT_EXTENSION));
        return false;
    }

    size_t length = stream.length();
    std::string plain(length, '\0');
    stream.seek(0);
    if (stream.read(plain.data(), length) != length) {
        ctx.showFileText(4, withExtension(path, PARAMETER_EXTENSION));
        return false;
    }

    // A sealed block ends at the first "#CEND: ". Should the sealed bytes
    // happen to form that key, the file could not be read back whole; another
    // seed gives other bytes.
    uint32_t seed = nextSeed(ctx);
    std::string sealed;
    for (unsigned attempt = 0;; ++attempt) {
        sealed = plain;
        sealBytes(seed, reinterpret_cast<uint8_t*>(sealed.data()), sealed.size());
        if (!containsKey(sealed, KEY_CEND) || attempt == 64) break;
        seed += 0x01010101u + attempt;
    }

    std::string file = formatText("%s%X\n%s", KEY_CRPT, seed, KEY_CBEG);
    file += sealed;
    file += formatText("\n%s", KEY_CEND);
    const unsigned checksum = textChecksum(stream);
    file += formatText("\n%s%4X", KEY_END, checksum);

    PendingFile parameterFile;
    if (!parameterFile.write(withExtension(path, PARAMETER_EXTENSION), file) || !reportFile.commit() ||
        !parameterFile.commit()) {
        ctx.showFileText(4, withExtension(path, PARAMETER_EXTENSION));
        return false;
    }
    if (seal) *seal = formatText("%X/%X", seed, checksum);
    return true;
}

bool readSealedFile(AppContext& ctx, const std::string& path, MemoryStream& stream) {
    std::string data;
    if (!readWholeFile(withExtension(path, PARAMETER_EXTENSION), data, MAX_PARAMETER_FILE)) {
        ctx.showFileText(4, withExtension(path, PARAMETER_EXTENSION));
        return false;
    }
    // The stream receives exactly the file's unsealed content.
    stream.setLength(0);
    stream.seek(0);

    uint8_t* bytes = reinterpret_cast<uint8_t*>(data.data());
    const size_t end = data.size();

    uint32_t seed = SEAL_MASK;   // no "#CRPT: ": every key byte is 0
    size_t pos = 0;
    long crpt = findBytes(bytes, end, KEY_CRPT);
    if (crpt >= 0) {
        size_t afterKey = static_cast<size_t>(crpt) + KEY_SIZE;
        auto number = scanHex(std::string_view(data).substr(afterKey));
        if (!number) {
            ctx.showFileText(32783, withExtension(path, PARAMETER_EXTENSION));
            return false;
        }
        seed = number->value;
        pos = afterKey;
        while (pos < end && isHexDigit(data[pos])) ++pos;
    }

    while (pos < end) {
        long begin = findBytes(bytes + pos, end - pos, KEY_CBEG);
        if (begin < 0) {
            stream.write(bytes + pos, end - pos);
            break;
        }
        size_t keyAt = pos + static_cast<size_t>(begin);
        stream.write(bytes + pos, keyAt - pos);
        size_t blockStart = keyAt + KEY_SIZE;
        long close = findBytes(bytes + blockStart, end - blockStart, KEY_CEND);
        size_t blockEnd = close < 0 ? end : blockStart + static_cast<size_t>(close);
        size_t n = blockEnd - blockStart;
        // The writer puts a line feed before "#CEND: " that is not sealed.
        if (n >= 1) sealBytes(seed, bytes + blockStart, n - 1);
        stream.write(bytes + blockStart, n);
        pos = blockEnd;
        if (close >= 0) pos += KEY_SIZE;
    }

    // The whole buffer, unsealed in place, as a C string would see it.
    size_t textLength = strnlen(data.data(), end);
    long endKey = findBytes(bytes, textLength, KEY_END);
    if (endKey < 0) {
        ctx.showFileText(32783, withExtension(path, PARAMETER_EXTENSION));
        return false;
    }
    auto stored = scanHex(std::string_view(data.data(), textLength).substr(static_cast<size_t>(endKey) + KEY_SIZE));
    if (!stored || stored->value != textChecksum(stream)) {
        ctx.showFileText(32783, withExtension(path, PARAMETER_EXTENSION));
        return false;
    }
    return true;
}
