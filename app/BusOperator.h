#pragma once
// The operator of one bus in a job on several buses at once. Several buses
// talk on one standard error: every line is led by the bus's port and
// written whole under a lock that all buses share, so no two buses' lines
// run into each other. As for any batch job, questions are answered No and
// file choosers cancelled; progress shows nothing (eight progress lines at
// once tell nobody anything; the table at the end tells what happened).
#include <mutex>
#include <sstream>
#include <string>

#include "platform/StderrOperator.h"

class BusOperator : public Operator {
public:
    BusOperator(std::string port, std::ostream& out, std::mutex& lock);

    void message(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void messageTable(const std::string& caption, const std::string& text, MessageIcon icon) override;
    bool question(const std::string& caption, const std::string& text) override;
    std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
    std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;
    void ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) override;
    void HideProgress() override;

private:
    // What the inner operator wrote, each line led by the port, out at once.
    void passOn();

    std::string port_;
    std::ostream& out_;
    std::mutex& lock_;
    std::ostringstream lines_;
    StderrOperator inner_;   // words and encoding as any batch job's, into lines_
};
