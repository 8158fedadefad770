// The sealed parameter file reader and the report writer behind it.
//
// The first input byte chooses: bit 0 a report of all parameters (else of
// the free ones only); bit 1 clear: the rest is a parameter file, read as
// loading reads it, and reported when it reads (bit 2: with its checksum line
// made right first when it has none); bit 1 set: the rest is a
// parameter text, reported as it stands, written as a sealed file with a seed
// taken from bits 2..7, read back (it must come back unchanged) and reported
// again. Bits 2..7 also give wrapText a width and a line count.
#include <memory>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "files/Format.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ReportContent.h"
#include "support/FixedClock.h"

namespace {

// A report comes out exactly when its header can be read; a written one has
// Windows line ends only.
void checkReport(AppContext& ctx, const std::string& base, MemoryStream& stream, bool all) {
    std::string report = base + ".DOC";
    std::remove(report.c_str());
    bool ok = writeReport(ctx, base + ".NFO", stream, all);
    std::string content = readBytes(report);
    FUZZ_CHECK(ok == !content.empty());
    for (size_t nl = content.find('\n'); nl != std::string::npos; nl = content.find('\n', nl + 1))
        FUZZ_CHECK(nl > 0 && content[nl - 1] == '\r');
}

void checkWrap(const std::string& text, uint8_t options) {
    int width = int((options >> 2) & 0x1F) - 4;
    int maxLines = (options & 0x80) ? 3 : 16;
    std::vector<std::string> lines;
    int count = wrapText(text, lines, width, maxLines);
    FUZZ_CHECK(count >= 0 && count <= maxLines && size_t(count) == lines.size());
    size_t total = 0;
    for (const auto& line : lines) {
        FUZZ_CHECK(width > 0 && line.size() <= size_t(width));
        FUZZ_CHECK(!line.empty());
        total += line.size();
    }
    FUZZ_CHECK(total <= text.size());
    // Nothing is lost unless the lines ran out.
    if (count < maxLines && width > 0) FUZZ_CHECK(total == text.size());
}

// Texts the file format can carry: the reader takes the first of these keys
// and stops at a zero byte, so a text holding one cannot come back whole.
bool carriable(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return false;
    for (const char* key : {KEY_CRPT, KEY_CBEG, KEY_CEND, KEY_END})
        if (text.find(key) != std::string_view::npos) return false;
    return true;
}

}  // namespace

void fuzzSealedReport(const uint8_t* data, size_t size) {
    static DeviceLink noDevice;
    static std::unique_ptr<AppContext> context = makeFuzzContext(noDevice);
    AppContext& ctx = *context;
    quietStart(ctx);
    static const std::string base = scratchDirectory() + "/unit";
    if (size == 0) return;
    const uint8_t options = data[0];
    const bool all = options & 1;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);

    if (!(options & 2)) {
        FUZZ_CHECK(writeBytes(base + ".NFO", rest.data(), rest.size()));
        MemoryStream stream;
        if (readSealedFile(ctx, base, stream)) {
            checkReport(ctx, base, stream, all);
            return;
        }
        // Bit 2: a file without a checksum line gets the right one appended,
        // so damaged and hand-made files reach the report too. What the
        // reader unsealed stays in the stream when the checksum fails.
        if (!(options & 4) || stream.str().find(KEY_END) != std::string::npos) return;
        uint16_t sum = textChecksum(stream);
        std::string fixed = rest + formatText("\n%s%4X", KEY_END, unsigned(sum));
        FUZZ_CHECK(writeBytes(base + ".NFO", fixed.data(), fixed.size()));
        MemoryStream again;
        if (readSealedFile(ctx, base, again)) checkReport(ctx, base, again, all);
        return;
    }

    MemoryStream text;
    text.write(rest);
    checkReport(ctx, base, text, all);
    checkWrap(rest, options);

    ctx.seedClock = std::make_shared<FixedClock>(int64_t(options >> 2) * 0x01000193 + 0x12345678);
    std::remove((base + ".NFO").c_str());
    text.seek(0);
    bool written = writeSealedFile(ctx, base, text);
    // A sealed file is written exactly when its (free) report can be made.
    MemoryStream probe;
    probe.write(rest);
    std::string ignored;
    FUZZ_CHECK(written == reportFileContent(ctx.texts, probe, false, ignored));
    if (!written) return;
    MemoryStream back;
    bool read = readSealedFile(ctx, base, back);
    if (carriable(rest)) {
        // The reader hands back the text between the line ends around it
        // and the checksum line.
        FUZZ_CHECK(read);
        std::string got = back.str();
        FUZZ_CHECK(got.size() > rest.size() + 2 && got.compare(0, rest.size() + 2, "\n" + rest + "\n") == 0);
        FUZZ_CHECK(got.compare(rest.size() + 2, 8, std::string("\n") + KEY_END) == 0);
    }
    if (read) checkReport(ctx, base, back, all);
}
