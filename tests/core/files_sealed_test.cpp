// The sealed parameter file: seal, checksum, writing and reading back.
#include <gmock/gmock.h>

#include <sys/stat.h>

#include "files/AtomicFile.h"
#include "files/SealedBlock.h"
#include "files_support.h"

using ::testing::ElementsAre;

namespace {

const std::string kText =
    "#DATE: 07-06-2008  \n#NAME: PUMP01  \n#ADDR: 1F  \n#VER.: 3  \n#REL.: 7  \n#PVER: 2  \n#PSWD: 17  "
    "\n#FREE: 100\n#CODE: 100  #DATA: 300  \n#CODE: 102  #DATA: ON  ";

uint16_t checksumText(const std::string& text) {
    MemoryStream s = streamOf(text);
    return textChecksum(s);
}

std::string sealed(uint32_t seed, std::string bytes) {
    sealBytes(seed, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    return bytes;
}

// A parameter file put together by hand: key, seed, sealed text, checksum.
std::string fileFor(const std::string& text, uint32_t seed) {
    char head[64];
    std::snprintf(head, sizeof head, "#CRPT: %X\n#CBEG: ", seed);
    char tail[32];
    std::snprintf(tail, sizeof tail, "\n#CEND: \n#END.: %4X", checksumText(text));
    return head + sealed(seed, text) + tail;
}

}  // namespace

TEST(SealedBlock, SealingTwiceRestoresAndTheKeyCyclesEveryFourBytes) {
    const uint32_t seed = 0x12345678;
    std::string five = "ABCDE";
    std::string once = sealed(seed, five);
    const uint8_t key[4] = {0x78 ^ 0x6C, 0x56 ^ 0x6C, 0x34 ^ 0x6C, 0x12 ^ 0x6C};
    for (size_t j = 0; j < 5; ++j)
        EXPECT_EQ(static_cast<uint8_t>(once[j] ^ five[j]), key[j % 4]) << "byte " << j;
    EXPECT_EQ(sealed(seed, once), five);
    EXPECT_EQ(sealed(SEAL_MASK, kText), kText);   // all four key bytes 0
}

TEST(SealedBlock, ChecksumCountsPrintableCharactersOfEachLine) {
    EXPECT_EQ(checksumText(""), static_cast<uint16_t>(~CHECKSUM_START & 0xFFFF));
    EXPECT_EQ(checksumText("A"), static_cast<uint16_t>(~(CHECKSUM_START + 'A') & 0xFFFF));
    // Line ends, tabs and bytes of 0x80 and above do not count.
    EXPECT_EQ(checksumText("ab\ncd"), checksumText("\r\nab\r\n\n\tcd\x80\xff"));
    // A ";" ends what counts on its line, here inside a device name.
    EXPECT_EQ(checksumText("#NAME: PU;MP  \n#ADDR: 5"), checksumText("#NAME: PU;XY  \n#ADDR: 5"));
    EXPECT_NE(checksumText("#NAME: PU;MP  \n#ADDR: 5"), checksumText("#NAME: PU;MP  \n#ADDR: 6"));
    // Nothing from the "#END.: " key on counts.
    EXPECT_EQ(checksumText("ab\n#END.: 1234\ncd"), checksumText("ab\n"));
    EXPECT_EQ(checksumText("ab #END.: x"), checksumText("ab "));
    // The sum is kept in 32 bits and folded only at the end.
    EXPECT_EQ(checksumText(std::string(303, '~')), 0x0FA0);
}

TEST(SealedBlock, FindBytesLooksAtEveryPositionWithinTheRange) {
    const std::string data = "xx#CEND: yy";
    auto bytes = reinterpret_cast<const uint8_t*>(data.data());
    EXPECT_EQ(findBytes(bytes, data.size(), "#CEND: "), 2);
    EXPECT_EQ(findBytes(bytes, 8, "#CEND: "), -1);
    EXPECT_EQ(findBytes(bytes, 9, "#CEND: "), 2);
    EXPECT_EQ(findBytes(bytes, 0, "x"), -1);
    std::string zeros("\0\0#\0#CRPT: ", 12);
    EXPECT_EQ(findBytes(reinterpret_cast<const uint8_t*>(zeros.data()), zeros.size(), "#CRPT: "), 4);
}

TEST_F(FilesTest, SealedFileMatchesItsGoldenBytesAndReadsBack) {
    MemoryStream text = streamOf(kText);
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("unit.txt"), text));
    std::string file = readFile(dir.file("unit.NFO"));
    expectGolden("sealed-seed-12345679.NFO", file);
    EXPECT_EQ(file.rfind("#CRPT: 12345679\n#CBEG: ", 0), 0u);
    EXPECT_TRUE(fileExists(dir.file("unit.DOC")));

    MemoryStream back;
    ASSERT_TRUE(readSealedFile(ctx, dir.file("unit.NFO"), back));
    char end[32];
    std::snprintf(end, sizeof end, "\n#END.: %4X", checksumText(kText));
    EXPECT_EQ(back.str(), "\n" + kText + "\n" + end);
    EXPECT_TRUE(op.messages.empty());
    // Nothing but the two files is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(FilesTest, SeedComesFromTheClockOrTheFallback) {
    FixedClock clock(0x00000002FFFFFFFFLL);
    EXPECT_EQ(sealSeed(clock), 0x00000001u);   // halves added modulo 2^32
    FixedClock broken(0, false);
    EXPECT_EQ(sealSeed(broken), FALLBACK_SEED);

    ctx.seedClock = std::make_shared<FixedClock>(0, false);
    MemoryStream text = streamOf(kText);
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("fallback"), text));
    EXPECT_EQ(readFile(dir.file("fallback.NFO")).rfind("#CRPT: 4E1D7B92\n", 0), 0u);
}

TEST_F(FilesTest, SmallChecksumIsWrittenWithLeadingBlanksAndReadsBack) {
    // Pad a last line with "~" until the checksum drops below 0x1000.
    std::string text = kText + "\n";
    for (int i = 0; i < 600 && checksumText(text) >= 0x1000; ++i) text += '~';
    ASSERT_LT(checksumText(text), 0x1000);
    MemoryStream s = streamOf(text);
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("small"), s));
    std::string file = readFile(dir.file("small.NFO"));
    std::string tail = file.substr(file.size() - 12);
    EXPECT_EQ(tail.substr(0, 8), "\n#END.: ");
    EXPECT_EQ(tail[8], ' ');
    MemoryStream back;
    EXPECT_TRUE(readSealedFile(ctx, dir.file("small.NFO"), back));
}

TEST_F(FilesTest, ReadingRefusesDamageWithTheRightText) {
    std::string good = fileFor(kText, 0x12345679);
    auto readBack = [&](const std::string& content) {
        dir.write("x.NFO", content);
        MemoryStream s;
        op.clear();
        bool ok = readSealedFile(ctx, dir.file("x.NFO"), s);
        return std::make_pair(ok, op.texts());
    };
    EXPECT_EQ(readBack(good), std::make_pair(true, std::vector<std::string>{}));

    std::string changed = good;
    changed[30] ^= 0x01;   // one sealed byte
    EXPECT_THAT(readBack(changed).second, ElementsAre("text 32783"));
    EXPECT_FALSE(readBack(changed).first);

    EXPECT_THAT(readBack("#CRPT: zz\n#CBEG: abc\n#CEND: \n#END.: 0").second, ElementsAre("text 32783"));
    EXPECT_THAT(readBack(good.substr(0, good.find("#END.: "))).second, ElementsAre("text 32783"));
    EXPECT_THAT(readBack(good.substr(0, good.size() - 4) + "    ").second, ElementsAre("text 32783"));
    EXPECT_THAT(readBack("").second, ElementsAre("text 32783"));

    MemoryStream s;
    op.clear();
    EXPECT_FALSE(readSealedFile(ctx, dir.file("missing.NFO"), s));
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
    op.clear();
    std::filesystem::create_directory(dir.file("folder.NFO"));
    EXPECT_FALSE(readSealedFile(ctx, dir.file("folder"), s));
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
}

TEST_F(FilesTest, ReadingTakesPlainTextEmptyBlocksAndSeveralBlocks) {
    char end[32];
    // A plain text without "#CRPT: " and without a block, with its checksum.
    std::snprintf(end, sizeof end, "\n#END.: %4X", checksumText(kText));
    dir.write("plain.NFO", kText + end);
    MemoryStream plain;
    EXPECT_TRUE(readSealedFile(ctx, dir.file("plain.NFO"), plain));
    EXPECT_EQ(plain.str(), kText + end);

    // An empty block: nothing to unseal.
    std::snprintf(end, sizeof end, "\n#END.: %4X", checksumText(""));
    dir.write("empty.NFO", std::string("#CRPT: 1\n#CBEG: #CEND: ") + end);
    MemoryStream empty;
    EXPECT_TRUE(readSealedFile(ctx, dir.file("empty.NFO"), empty));
    EXPECT_EQ(empty.str(), std::string("\n") + end);

    // Two blocks, each with its key phase starting at its first byte, and
    // text outside them copied as it stands.
    const uint32_t seed = 0xA1B2C3D4;
    std::string one = "#NAME: PUMP01  \n";
    std::string two = "#ADDR: 5  \n";
    std::snprintf(end, sizeof end, "\n#END.: %4X", checksumText(one + "between" + two));
    dir.write("two.NFO", "#CRPT: A1B2C3D4\n#CBEG: " + sealed(seed, one.substr(0, one.size() - 1)) + "\n#CEND: between#CBEG: " +
                             sealed(seed, two.substr(0, two.size() - 1)) + "\n#CEND: " + end);
    MemoryStream both;
    EXPECT_TRUE(readSealedFile(ctx, dir.file("two.NFO"), both));
    EXPECT_EQ(both.str(), "\n" + one + "between" + two + end);

    // "#CBEG: " with no "#CEND: ": the block runs to the end, its last byte as it stands.
    dir.write("open.NFO", "#CBEG: " + kText);
    MemoryStream open;
    op.clear();
    EXPECT_FALSE(readSealedFile(ctx, dir.file("open.NFO"), open));
    EXPECT_THAT(op.texts(), ElementsAre("text 32783"));
}

TEST_F(FilesTest, ReadingEmptiesTheStreamItIsGiven) {
    MemoryStream text = streamOf(kText);
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("unit"), text));
    MemoryStream used = streamOf(std::string(5000, 'z'));
    ASSERT_TRUE(readSealedFile(ctx, dir.file("unit"), used));
    EXPECT_EQ(used.str().find('z'), std::string::npos);
}

TEST_F(FilesTest, OversizedFileIsRefusedAsUnreadable) {
    dir.write("huge.NFO", std::string(17u * 1024 * 1024, '#'));
    MemoryStream s;
    EXPECT_FALSE(readSealedFile(ctx, dir.file("huge"), s));
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
    EXPECT_EQ(s.length(), 0u);
}

TEST_F(FilesTest, SealedBytesThatWouldFormTheEndKeyGetAnotherSeed) {
    // With the seed equal to the mask nothing changes, so a text holding
    // "#CEND: " would end its own block early.
    ctx.seedClock = std::make_shared<FixedClock>(static_cast<int64_t>(SEAL_MASK));
    std::string text = kText + "\n#CEND: inside";
    MemoryStream s = streamOf(text);
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("cend"), s));
    std::string file = readFile(dir.file("cend.NFO"));
    EXPECT_EQ(file.rfind("#CRPT: 6C6C6C6C\n", 0), std::string::npos);
    MemoryStream back;
    ASSERT_TRUE(readSealedFile(ctx, dir.file("cend"), back));
    EXPECT_NE(back.str().find(text), std::string::npos);
}

TEST_F(FilesTest, WriteFailureLeavesEarlierFilesWholeAndNoTemporaryFiles) {
    MemoryStream first = streamOf(kText);
    ASSERT_TRUE(writeSealedFile(ctx, dir.file("unit"), first));
    const std::string oldFile = readFile(dir.file("unit.NFO"));
    const std::string oldReport = readFile(dir.file("unit.DOC"));

    // The parameter file fails half way: the earlier pair stays as it was.
    setFileWriteFault([](const std::string& path) { return path.size() > 4 && path.substr(path.size() - 4) == ".NFO"; });
    std::string other = kText;
    other.replace(other.find("300"), 3, "301");
    MemoryStream second = streamOf(other);
    EXPECT_FALSE(writeSealedFile(ctx, dir.file("unit"), second));
    setFileWriteFault(nullptr);
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
    EXPECT_EQ(readFile(dir.file("unit.NFO")), oldFile);
    EXPECT_EQ(readFile(dir.file("unit.DOC")), oldReport);

    // The report fails: no parameter file is written at all.
    op.clear();
    setFileWriteFault([](const std::string& path) { return path.substr(path.size() - 4) == ".DOC"; });
    MemoryStream third = streamOf(other);
    EXPECT_FALSE(writeSealedFile(ctx, dir.file("fresh"), third));
    setFileWriteFault(nullptr);
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
    EXPECT_FALSE(fileExists(dir.file("fresh.NFO")));
    EXPECT_FALSE(fileExists(dir.file("fresh.DOC")));

    // A target that cannot be replaced (a folder of that name).
    op.clear();
    std::filesystem::create_directory(dir.file("busy.NFO"));
    MemoryStream fourth = streamOf(kText);
    EXPECT_FALSE(writeSealedFile(ctx, dir.file("busy"), fourth));
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("busy.NFO")));

    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(FilesTest, ZeroBytesAndFifosAreReadWithoutHarm) {
    // A zero byte ends the text the checksum key is looked for in.
    char end[32];
    std::snprintf(end, sizeof end, "\n#END.: %4X", checksumText(kText));
    std::string withZero = kText;
    withZero[20] = '\0';
    dir.write("zero.NFO", withZero + end);
    MemoryStream s;
    EXPECT_FALSE(readSealedFile(ctx, dir.file("zero"), s));
    EXPECT_THAT(op.texts(), ElementsAre("text 32783"));
    EXPECT_EQ(s.str(), withZero + end);   // the content is there all the same

    // A FIFO would wait for a writer for ever: it is no parameter file.
    op.clear();
    ASSERT_EQ(mkfifo(dir.file("pipe.NFO").c_str(), 0600), 0);
    MemoryStream p;
    EXPECT_FALSE(readSealedFile(ctx, dir.file("pipe"), p));
    EXPECT_THAT(op.texts(), ElementsAre("text 4"));
}
