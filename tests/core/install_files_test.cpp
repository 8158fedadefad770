// The files the installation ships: every text the program uses in every
// language, texts that fit where they are shown, help files whose links
// lead somewhere, and a config.ini the loader accepts.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "app/Installation.h"
#include "platform/Profile.h"
#include "support/Support.h"
#include "texts/TextNumbers.h"
#include "texts/TextTable.h"

namespace {

const std::string INSTALL = std::string(FS_SOURCE_DIR) + "/install/";
const std::vector<std::string> LANGUAGES = {"eng", "ita"};

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// The numbers of the entries of a language file, one entry per line.
std::set<uint32_t> numbersIn(const std::string& path) {
    std::set<uint32_t> numbers;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        size_t gt = line.find('>');
        if (gt != std::string::npos && gt > 0) numbers.insert(static_cast<uint32_t>(std::stoul(line.substr(0, gt), nullptr, 16)));
    }
    return numbers;
}

TextTable load(const std::string& path) {
    TextTable t;
    EXPECT_EQ(t.Load(path), 1) << path;
    return t;
}

// The letter after the "&" of a caption, lower case; 0 when it has none.
char accelerator(const std::string& caption) {
    size_t amp = caption.find('&');
    return amp == std::string::npos || amp + 1 >= caption.size()
               ? 0 : static_cast<char>(std::tolower(static_cast<unsigned char>(caption[amp + 1])));
}

}  // namespace

TEST(ShippedTexts, EveryUsedNumberHasATextInEveryLanguage) {
    std::set<uint32_t> used(std::begin(USED_MESSAGE_NUMBERS), std::end(USED_MESSAGE_NUMBERS));
    for (const auto& lang : LANGUAGES) {
        std::string path = INSTALL + "messages." + lang;
        TextTable t = load(path);
        for (uint32_t n : USED_MESSAGE_NUMBERS) {
            EXPECT_FALSE(t.Lookup(n).empty()) << "text " << n << " of " << path;
            EXPECT_EQ(t.Lookup(n), t.LookupByScan(n));
        }
        // Every entry in the file is reachable and is a text the program uses.
        for (uint32_t n : numbersIn(path)) {
            EXPECT_FALSE(t.Lookup(n).empty()) << "entry " << n << " of " << path << " cannot be reached";
            EXPECT_TRUE(used.count(n)) << "entry " << n << " of " << path << " is used nowhere";
        }
    }
    EXPECT_EQ(numbersIn(INSTALL + "messages.eng"), numbersIn(INSTALL + "messages.ita"));
    EXPECT_EQ(numbersIn(INSTALL + "errors.eng"), numbersIn(INSTALL + "errors.ita"));
}

TEST(ShippedTexts, SingleByteFilesHoldPlainAscii) {
    for (const char* base : {"messages.", "errors."})
        for (const auto& lang : LANGUAGES) {
            std::string content = readFile(INSTALL + base + lang);
            ASSERT_FALSE(content.empty());
            for (unsigned char c : content)
                EXPECT_TRUE(c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F))
                    << base << lang << " holds byte " << int(c);
        }
}

TEST(ShippedTexts, StatusTextsForTheDeviceCodes) {
    for (const auto& lang : LANGUAGES) {
        TextTable t = load(INSTALL + "errors." + lang);
        for (uint32_t code : {0x0000u, 0x0001u, 0x0010u, 0x0020u, 0x01a2u, 0x0200u})
            EXPECT_FALSE(t.Lookup(code).empty()) << "status " << code << " in " << lang;
    }
}

TEST(ShippedTexts, CaptionsAndLabelsFitWhereTheyAreShown) {
    // Menus: top-level captions, then the items of each menu as the window builds them.
    const std::vector<std::vector<uint32_t>> menus = {
        {128, 144, 160},
        {132, 133, 131, 129},
        {155, 145, 150, 151, 146, 147, 154, 148, 153, 33106, 33105, 33104, 33328},
        {161, 130},
    };
    for (const auto& lang : LANGUAGES) {
        TextTable t = load(INSTALL + "messages." + lang);
        for (const auto& menu : menus) {
            std::map<char, uint32_t> seen;
            for (uint32_t n : menu) {
                char a = accelerator(t.Lookup(n));
                ASSERT_NE(a, 0) << "caption " << n << " in " << lang << " has no accelerator";
                EXPECT_FALSE(seen.count(a)) << "captions " << seen[a] << " and " << n << " in " << lang
                                            << " share the accelerator " << a;
                seen[a] = n;
            }
        }
        // The report box cuts its labels and column titles to their cells.
        for (uint32_t n : {32768u, 32769u, 32770u, 32777u}) EXPECT_LE(t.Lookup(n).size(), 24u) << n << " " << lang;
        EXPECT_LE(t.Lookup(1025).size(), 8u) << lang;
        EXPECT_LE(t.Lookup(1032).size(), 15u) << lang;
        EXPECT_LE(t.Lookup(1030).size(), 45u) << lang;
        EXPECT_LE(t.Lookup(32).size(), 15u) << lang;
        EXPECT_LE(t.Lookup(33).size(), 15u) << lang;
        // The busy caption is appended directly to the title.
        EXPECT_EQ(t.Lookup(1).front(), ' ') << lang;
        // Texts are single lines.
        for (uint32_t n : USED_MESSAGE_NUMBERS) EXPECT_EQ(t.Lookup(n).find_first_of("\r\n"), std::string::npos) << n;
    }
}

TEST(ShippedHelp, AnchorsForTheContextsAndEveryLink) {
    for (const auto& lang : LANGUAGES) {
        std::string html = readFile(INSTALL + "help_" + lang + ".hlp");
        ASSERT_FALSE(html.empty()) << lang;
        std::set<std::string> anchors;
        std::regex nameRe("<a name=\"([^\"]+)\">");
        for (auto it = std::sregex_iterator(html.begin(), html.end(), nameRe); it != std::sregex_iterator(); ++it)
            anchors.insert((*it)[1]);
        EXPECT_TRUE(anchors.count("10001")) << lang;
        EXPECT_TRUE(anchors.count("contents")) << lang;
        EXPECT_LT(html.find("<a name=\"contents\">"), html.find("<a name=\"10001\">")) << "contents come first";
        std::regex hrefRe("href=\"#([^\"]+)\"");
        for (auto it = std::sregex_iterator(html.begin(), html.end(), hrefRe); it != std::sregex_iterator(); ++it)
            EXPECT_TRUE(anchors.count((*it)[1])) << lang << " links to the missing anchor " << (*it)[1];
        for (const char* topic : {"/c ", "/l ", "Port Devices", "com1=/dev/ttyUSB0", "/dev/ttyS"})
            EXPECT_NE(html.find(topic), std::string::npos) << lang << " does not mention " << topic;
        for (unsigned char c : html) EXPECT_LT(c, 0x80) << lang;
    }
}

TEST(ShippedConfiguration, LoadsTheEnglishInstallation) {
    std::string ini = INSTALL + "config.ini";
    EXPECT_EQ(profileString(ini, "BASIC Configurations", "language", ""), "eng");
    EXPECT_EQ(profileInt(ini, "BASIC Configurations", "serial_port", 0), 1u);
    EXPECT_EQ(profileInt(ini, "BASIC Configurations", "connect_on_startup", 7), 0u);
    // The port mapping is there as an example only.
    EXPECT_EQ(profileString(ini, "Port Devices", "com1", "none"), "none");

    // The shipped files, copied into a directory of their own, load as an installation.
    TempDir dir;
    std::filesystem::copy(INSTALL, dir.path(), std::filesystem::copy_options::recursive);
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    RecordingOperator op;
    DeviceLink link;
    AppContext ctx(link, &op);
    bool initialised = InitInstallDirectory(ctx.settings);
    LoadResult result = loadInstallationCore(ctx);
    Settings state = ctx.settings;
    std::string status = ctx.texts.errors.Lookup(0x1a2);
    std::filesystem::current_path(previous);

    ASSERT_TRUE(initialised);
    EXPECT_EQ(result, LoadResult::Ok);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(state.windowTitle, "Field Service v1.10");
    EXPECT_TRUE(std::filesystem::is_regular_file(state.helpFilePath)) << state.helpFilePath;
    EXPECT_FALSE(status.empty());
}
