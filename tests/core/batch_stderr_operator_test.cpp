// The display-less operator: one line per message, No to every question,
// cancelled choosers, progress lines only where someone watches.
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
    EXPECT_EQ(out.str(),
              "fieldservice v1.10: No device found.\n"
              "Loader Error: Sorry, no languages available! Please, check your installation.\n"
              "T: a b c  d\n");
}

TEST(StderrOperator, QuestionsAreAnsweredNoAndSaySo) {
    std::ostringstream out;
    StderrOperator op(out, false);
    EXPECT_FALSE(op.question("fieldservice v1.10", "Versions differ.\r\nLoad anyway?"));
    EXPECT_EQ(out.str(), "fieldservice v1.10: Versions differ. Load anyway? -> No\n");
}

TEST(StderrOperator, ChoosersAreCancelled) {
    std::ostringstream out;
    StderrOperator op(out, true);
    FileChoice choice{"Parameter files (*.NFO)|*.NFO|", "NFO", "/tmp"};
    EXPECT_FALSE(op.chooseOpenFile(choice).has_value());
    EXPECT_FALSE(op.chooseSaveFile(choice).has_value());
    EXPECT_EQ(out.str(), "");
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

TEST(StderrOperator, EmptyCaptionLeavesTheTextAlone) {
    std::ostringstream out;
    StderrOperator op(out, false);
    op.message("", "Nothing to convert.", MessageIcon::Exclamation);
    op.message("T", "", MessageIcon::Exclamation);
    EXPECT_EQ(out.str(), "Nothing to convert.\nT: \n");
}
