// The display-less operator: one line per message, No to every question and
// chooser, progress lines only where someone watches.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/StderrOperator.h"

TEST(StderrOperator, MessagesAreSingleLinesUnderTheCaption) {
    std::ostringstream out;
    StderrOperator op(out, false);
    op.message("fieldservice v1.10", "No device found.", MessageIcon::Exclamation);
    op.message("Loader Error", "Sorry, no languages available!\r\nPlease, check your installation.",
               MessageIcon::Stop);
    op.message("T", "a\nb\rc\r\n\r\nd", MessageIcon::Information);
    op.message("", "Nothing to convert.", MessageIcon::Exclamation);   // no caption, no ": "
    EXPECT_EQ(out.str(),
              "fieldservice v1.10: No device found.\n"
              "Loader Error: Sorry, no languages available! Please, check your installation.\n"
              "T: a b c  d\n"
              "Nothing to convert.\n");
}

TEST(StderrOperator, TablesKeepTheirLines) {
    std::ostringstream out;
    StderrOperator op(out, false);
    op.messageTable("fieldservice v1.10", "2 differ:\r\n\nNumber  File  Device\n0100    5     7", MessageIcon::Exclamation);
    op.messageTable("", "one", MessageIcon::Information);
    EXPECT_EQ(out.str(),
              "fieldservice v1.10:\n2 differ:\n\nNumber  File  Device\n0100    5     7\n"
              "one\n");
}

TEST(StderrOperator, QuestionsAreAnsweredNoAndSaySo) {
    std::ostringstream out;
    StderrOperator op(out, false);
    EXPECT_FALSE(op.question("fieldservice v1.10", "Versions differ.\r\nLoad anyway?"));
    EXPECT_EQ(out.str(), "fieldservice v1.10: Versions differ. Load anyway? -> No\n");
    EXPECT_FALSE(op.chooseOpenFile(FileChoice{"Parameter files (*.NFO)|*.NFO|", "NFO", "/tmp", "", ""}));
}

TEST(StderrOperator, ProgressLinesOnlyForATerminal) {
    uint32_t counter = 77;
    std::ostringstream quiet;
    StderrOperator silent(quiet, false);
    silent.ShowProgress(&counter, 64, "Scanning the bus");
    EXPECT_EQ(counter, 0u);   // the counter starts at 0 as with a window
    silent.HideProgress();
    EXPECT_EQ(quiet.str(), "");

    std::ostringstream shown;
    StderrOperator terminal(shown, true);
    terminal.ShowProgress(&counter, 64, "Scanning the bus");
    terminal.HideProgress();
    terminal.ShowProgress(nullptr, 10, "Restart\r\nplease wait");
    terminal.HideProgress();
    EXPECT_EQ(shown.str(),
              "Scanning the bus ...\nScanning the bus ... done\n"
              "Restart please wait ...\nRestart please wait ... done\n");
}

// Language files made in Windows-1252 reach the terminal in the locale's
// encoding: byte 0x92 is the closing quote, not a stray byte.
TEST(StderrOperator, TextsAreWrittenInTheLocalesEncoding) {
    struct Case {
        const char* codeset;
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"UTF-8", "l\x92unit\xe0 \x80", "l\xe2\x80\x99unit\xc3\xa0 \xe2\x82\xac"},   // Windows-1252
        {"UTF-8", "gi\xc3\xa0 \xe2\x80\x99", "gi\xc3\xa0 \xe2\x80\x99"},            // already UTF-8
        {"ISO-8859-1", "l\x92unit\xe0", "l'unit\xe0"},
        {"ANSI_X3.4-1968", "caf\xc3\xa9 \xe2\x86\x92", "caf? ->"},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        StderrOperator op(out, false, c.codeset);
        op.message("", c.text, MessageIcon::Information);
        EXPECT_EQ(out.str(), c.shown + "\n") << c.codeset;
    }
}
