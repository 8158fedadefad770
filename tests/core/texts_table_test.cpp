// Text tables: the lookup rules of the language file format, and the index
// answering exactly what the entry-by-entry walk answers, whatever the file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>

#include "support/Support.h"
#include "texts/TextTable.h"

namespace {

// Loads content through a temporary file; the table owns a copy afterwards.
TextTable tableOf(const std::string& content) {
    TempDir dir;
    dir.write("messages.tst", content);
    TextTable table;
    EXPECT_EQ(table.Load(dir.file("messages.tst")), 1);
    return table;
}

// Both ways of looking up agree; the common answer.
std::string text(const TextTable& table, uint32_t n) {
    std::string viaIndex = table.Lookup(n);
    EXPECT_EQ(viaIndex, table.LookupByScan(n)) << "number " << n;
    return viaIndex;
}

}  // namespace

TEST(TextTableLookup, EntriesAsStoredInTheFile) {
    TextTable t = tableOf("0000>Field Service<END>\n0094>Change password<END>\n"
                          "0012>a > b<END>\r\n0021>two\r\nlines <END>\n0005>first<END>\n0005>second<END>\n");
    EXPECT_EQ(text(t, 0), "Field Service");
    EXPECT_EQ(text(t, 148), "Change password");              // stored in hexadecimal
    EXPECT_EQ(text(t, 18), "a > b");                         // a '>' inside the text stays
    EXPECT_EQ(text(t, 0x21), "two\r\nlines ");               // CR LF and blanks kept
    EXPECT_EQ(text(t, 5), "first");                          // the first occurrence wins
    EXPECT_EQ(text(t, 7), "");                               // absent: empty, not an error
    EXPECT_EQ(text(t, 0xFFFFFFFF), "");
}

TEST(TextTableLookup, DamageStopsTheScanWhereItIs) {
    // A blank between number and '>' makes that entry and all after it unreachable.
    TextTable blank = tableOf("1>a<END>\n2 >b<END>\n3>c<END>\n");
    EXPECT_EQ(text(blank, 1), "a");
    EXPECT_EQ(text(blank, 2), "");
    EXPECT_EQ(text(blank, 3), "");

    // An entry without its terminator gives the empty text; nothing after it is found.
    TextTable open = tableOf("1>a<END>\n2>b\n3>c");
    EXPECT_EQ(text(open, 1), "a");
    EXPECT_EQ(text(open, 2), "");
    EXPECT_EQ(text(open, 3), "");

    // A separator that ends in hexadecimal digits becomes part of the next number.
    TextTable glued = tableOf("1>a<END>\nab2>b<END>\n");
    EXPECT_EQ(text(glued, 2), "");
    EXPECT_EQ(text(glued, 0xab2), "b");

    // A number at the very end, with or without its '>'.
    EXPECT_EQ(text(tableOf("1>a<END>\n7>"), 7), "");
    EXPECT_EQ(text(tableOf("1>a<END>\n7"), 7), "");
}

TEST(TextTableLookup, ByteOrderMarkOrJunkBeforeTheFirstNumberEmptiesEverything) {
    TextTable bom = tableOf("\xEF\xBB\xBF" "0000>Title<END>\n0001>x<END>\n");
    for (uint32_t n : {0u, 1u, 0xEFu, 0xBBu, 0xBFu}) EXPECT_EQ(text(bom, n), "");
    EXPECT_EQ(text(tableOf("; comment\n0>x<END>"), 0), "");
    EXPECT_EQ(text(tableOf(""), 0), "");
}

TEST(TextTableLookup, FirstEntryNumberReadLikeStrtoul) {
    // Leading white space and bytes between the first number and its '>' are skipped.
    EXPECT_EQ(text(tableOf(" \t\r\n\v\f12 junk>x<END>"), 0x12), "x");
    EXPECT_EQ(text(tableOf("0x1F>p<END>"), 0x1F), "p");
    EXPECT_EQ(text(tableOf("+1f>p<END>"), 0x1F), "p");
    // "0x" without a digit after it reads 0 and stops at the x.
    EXPECT_EQ(text(tableOf("0xg>q<END>"), 0), "q");
    // A minus sign negates modulo 2^32.
    EXPECT_EQ(text(tableOf("-1>m<END>"), 0xFFFFFFFFu), "m");
    EXPECT_EQ(text(tableOf("-10>m<END>"), 0xFFFFFFF0u), "m");
    // More than 32 bits saturate, whatever the sign.
    TextTable big = tableOf("123456789>o<END>\n5>five<END>");
    EXPECT_EQ(text(big, 0xFFFFFFFFu), "o");
    EXPECT_EQ(text(big, 0x23456789u), "");
    EXPECT_EQ(text(big, 5), "five");
    EXPECT_EQ(text(tableOf("-123456789>o<END>"), 0xFFFFFFFFu), "o");
    // A sign with no digit is no number.
    EXPECT_EQ(text(tableOf("->x<END>"), 0), "");
    // Later entries take only the digits right before their '>'.
    TextTable later = tableOf("1>a<END>\n-2>b<END>\n0x3>c<END>\n");
    EXPECT_EQ(text(later, 2), "b");
    EXPECT_EQ(text(later, 0xFFFFFFFEu), "");
    EXPECT_EQ(text(later, 3), "c");
}

TEST(TextTableLookup, ZeroBytesAreOrdinaryBytes) {
    std::string content("1>a\0b<END>\n2>c<END>", 19);
    TextTable t = tableOf(content);
    EXPECT_EQ(text(t, 1), std::string("a\0b", 3));
    EXPECT_EQ(text(t, 2), "c");
}

TEST(TextTableLoad, FailuresLeaveTheTableNotLoaded) {
    TempDir dir;
    dir.write("messages.eng", "0>Title<END>");
    TextTable t;
    EXPECT_FALSE(t.loaded());
    EXPECT_EQ(t.Lookup(0), "");
    ASSERT_EQ(t.Load(dir.file("messages.eng")), 1);
    EXPECT_EQ(t.path(), dir.file("messages.eng"));
    EXPECT_EQ(t.Lookup(0), "Title");

    // A failed load in place: nothing of the old content is found any more.
    EXPECT_EQ(t.Load(dir.file("messages.xyz")), 0);
    EXPECT_FALSE(t.loaded());
    EXPECT_EQ(t.Lookup(0), "");
    EXPECT_EQ(t.LookupByScan(0), "");

    // A directory and a fifo are refused at once; opening the fifo must not wait.
    EXPECT_EQ(t.Load(dir.path()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(t.Load(dir.file("fifo")), 0);

    // An empty file loads; every text is empty.
    dir.write("empty", "");
    EXPECT_EQ(t.Load(dir.file("empty")), 1);
    EXPECT_TRUE(t.loaded());
    EXPECT_EQ(t.Lookup(0), "");
}

// --- the index against the walk -------------------------------------------

namespace {

class FileMaker {
public:
    explicit FileMaker(uint32_t seed) : rng_(seed) {}

    // A language file of entries, some numbers repeated, texts with '>',
    // line breaks and blanks, separators between entries.
    std::string wellFormed(int entries, std::set<uint32_t>& numbers) {
        std::string out;
        for (int i = 0; i < entries; ++i) {
            uint32_t n = pick(4) == 0 ? pick(20) : static_cast<uint32_t>(rng_());
            if (pick(8) == 0) n = pick(0x10000);
            numbers.insert(n);
            out += numberText(n) + ">" + textBody() + "<END>" + separator();
        }
        return out;
    }

    // One of the ways a language file gets damaged.
    std::string damaged(std::string s) {
        switch (pick(9)) {
        case 0: if (!s.empty()) s.resize(pick(static_cast<uint32_t>(s.size()))); break;      // truncated
        case 1: eraseFirst(s, "<END>"); break;                                                 // a terminator lost
        case 2: insertAt(s, '>', " "); break;                                                  // blank before '>'
        case 3: s = "\xEF\xBB\xBF" + s; break;                                                 // byte-order mark
        case 4: for (int i = 0; i < 5 && !s.empty(); ++i) s[pick(static_cast<uint32_t>(s.size()))] = static_cast<char>(rng_()); break;
        case 5: s.insert(pick(static_cast<uint32_t>(s.size()) + 1), "<END>"); break;         // stray terminator
        case 6: s.insert(pick(static_cast<uint32_t>(s.size()) + 1), ">"); break;             // stray '>'
        case 7: s = (pick(2) ? "-" : " +0x") + s; break;                                      // sign and prefix
        default: s.insert(pick(static_cast<uint32_t>(s.size()) + 1), "fffffffff"); break;    // overflowing digits
        }
        return s;
    }

    // Bytes drawn mostly from the characters that matter to the format.
    std::string noise(size_t size) {
        static const std::string alphabet = "0123456789abcdefABCDEF><END>\r\n \t-+xX";
        std::string s;
        for (size_t i = 0; i < size; ++i)
            s += pick(10) == 0 ? static_cast<char>(rng_()) : alphabet[pick(static_cast<uint32_t>(alphabet.size()))];
        return s;
    }

    uint32_t pick(uint32_t bound) { return bound == 0 ? 0 : static_cast<uint32_t>(rng_() % bound); }
    uint32_t any() { return static_cast<uint32_t>(rng_()); }

private:
    std::string numberText(uint32_t n) {
        char buf[16];
        std::snprintf(buf, sizeof buf, pick(2) ? "%04x" : "%X", n);
        return (pick(6) == 0 ? "00" : "") + std::string(buf);
    }
    std::string textBody() {
        static const char* pieces[] = {"word", " ", ">", "\r\n", "a > b", "<EN", "END>", "", "\t", "x"};
        std::string s;
        for (uint32_t i = pick(6); i > 0; --i) s += pieces[pick(10)];
        return s;
    }
    std::string separator() {
        static const char* seps[] = {"\n", "\r\n", "", "\n\n", " \n", "; note\n"};
        return seps[pick(6)];
    }
    void eraseFirst(std::string& s, const std::string& what) {
        size_t p = s.find(what, pick(static_cast<uint32_t>(s.size()) + 1));
        if (p != std::string::npos) s.erase(p, what.size());
    }
    void insertAt(std::string& s, char before, const std::string& what) {
        size_t p = s.find(before, pick(static_cast<uint32_t>(s.size()) + 1));
        if (p != std::string::npos) s.insert(p, what);
    }

    std::mt19937_64 rng_;
};

// Every number a walk could meet: those generated, the hex runs in the file
// (cut to 32 bits), and a few arbitrary ones.
std::set<uint32_t> candidates(const std::string& content, std::set<uint32_t> numbers, FileMaker& maker) {
    numbers.insert({0u, 1u, 0xFFFFFFFFu, 0xFFFFFFFEu});
    uint32_t v = 0;
    bool in = false;
    for (char c : content) {
        int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (d >= 0) {
            v = (v << 4) | static_cast<uint32_t>(d);
            in = true;
        } else if (in) {
            numbers.insert(v);
            numbers.insert(0u - v);
            v = 0;
            in = false;
        }
    }
    for (int i = 0; i < 8; ++i) numbers.insert(maker.any());
    return numbers;
}

void expectIndexMatchesWalk(const std::string& content, const std::set<uint32_t>& numbers, FileMaker& maker) {
    TextTable t = tableOf(content);
    for (uint32_t n : candidates(content, numbers, maker))
        ASSERT_EQ(t.Lookup(n), t.LookupByScan(n)) << "number " << n << " in file:\n" << content;
}

}  // namespace

TEST(TextTableIndex, MatchesTheWalkOnGeneratedAndDamagedFiles) {
    FileMaker maker(20080601);
    for (int round = 0; round < 400; ++round) {
        std::set<uint32_t> numbers;
        std::string clean = maker.wellFormed(1 + static_cast<int>(maker.pick(30)), numbers);
        expectIndexMatchesWalk(clean, numbers, maker);
        std::string broken = clean;
        for (uint32_t d = 1 + maker.pick(3); d > 0; --d) broken = maker.damaged(broken);
        expectIndexMatchesWalk(broken, numbers, maker);
    }
}

TEST(TextTableIndex, MatchesTheWalkOnNoise) {
    FileMaker maker(7);
    for (int round = 0; round < 300; ++round) {
        std::string noise = maker.noise(maker.pick(400));
        expectIndexMatchesWalk(noise, {}, maker);
        expectIndexMatchesWalk("0>x<END>" + noise, {}, maker);
    }
}

TEST(TextTableIndex, HugeFileWithEntriesNearItsEnd) {
    std::string content;
    content.reserve(12u << 20);
    const uint32_t count = 400000;
    for (uint32_t n = 0; n < count; ++n) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%x>text of entry %u<END>\r\n", n, n);
        content += buf;
    }
    content += "0>duplicate of the first<END>\n";
    TextTable t = tableOf(content);
    for (uint32_t n : {0u, 1u, 0x1234u, count / 2, count - 2, count - 1, count, count + 1}) {
        std::string expected = n < count ? "text of entry " + std::to_string(n) : "";
        EXPECT_EQ(t.Lookup(n), expected);
        EXPECT_EQ(t.LookupByScan(n), expected);
    }
    FileMaker maker(3);
    for (int i = 0; i < 2000; ++i) {
        uint32_t n = maker.pick(count + 10);
        ASSERT_EQ(t.Lookup(n), n < count ? "text of entry " + std::to_string(n) : "");
    }
}
