#pragma once
// Shared setup of the main-window tests: an installation directory with
// numbered texts ("text 32896"), entered as the current directory, and a
// device link on a simulated bus installed before the window is built.
#include <QDir>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "session/AppContext.h"
#include "app/Installation.h"
#include "core/shell_support.h"
#include "support/Support.h"

// Every text number the main window, the connect dialog and the progress
// window use; text 0 (the title) is given separately.
inline std::vector<unsigned> shellTextNumbers() {
    std::vector<unsigned> numbers = {1, 3, 18, 19, 33, 34, 35, 512, 513, 768, 769, 770, 1058, 1061, 1062};
    for (unsigned n : {128u, 129u, 130u, 131u, 132u, 133u, 144u, 145u, 146u, 147u, 148u, 150u, 151u,
                       153u, 154u, 155u, 160u, 161u})
        numbers.push_back(n);
    for (unsigned n = 32768; n <= 32789; ++n) numbers.push_back(n);
    for (unsigned n = 32896; n <= 32913; ++n) numbers.push_back(n);
    for (unsigned n = 33088; n <= 33100; ++n) numbers.push_back(n);
    for (unsigned n = 33232; n <= 33235; ++n) numbers.push_back(n);   // the bus monitor's filters
    for (unsigned n = 0x8110; n <= 0x811F; ++n) numbers.push_back(n);
    for (unsigned n = 0x81F0; n <= 0x81F7; ++n) numbers.push_back(n);
    for (unsigned n = 33060; n <= 33068; ++n) numbers.push_back(n);   // the serial ports present
    for (unsigned n : {33328u, 33329u}) numbers.push_back(n);            // the service history's menu item
    for (unsigned n = 33200; n <= 33210; ++n) numbers.push_back(n);   // the load's question and results
    return numbers;
}

class ShellInstallation {
public:
    // Enters the installation and reads its directory into settings.
    explicit ShellInstallation(Settings& settings, const std::string& title = "Service") {
        startDir_ = std::filesystem::current_path();
        std::string messages = "0>" + title + "<END>\n";
        for (unsigned n : shellTextNumbers()) {
            char entry[64];
            std::snprintf(entry, sizeof entry, "%X>text %u<END>\n", n, n);
            messages += entry;
        }
        dir_.write("messages.test", messages);
        dir_.write("config.ini", "[BASIC Configurations]\nlanguage=test\nserial_port=1\n");
        std::filesystem::current_path(dir_.path());
        InitInstallDirectory(settings);
        settings.serialRoots = {dir_.file("no-dev"), dir_.file("no-sys")};   // whatever ports the host has
    }
    ~ShellInstallation() {
        std::filesystem::current_path(startDir_);
    }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    std::filesystem::path startDir_;
};

inline QString qtext(unsigned n) { return QString::fromStdString(textOf(n)); }

// What each shell window test runs in: a fresh installation and a simulated
// bus, with a context of their own that the window is built on. Test classes
// derive from it beside QObject and call setUp from init and tearDown from
// cleanup.
class ShellTestBed {
protected:
    void setUp() {
        sim = std::make_unique<SimulatedBus>();
        context = std::make_unique<AppContext>(sim->link);
        install = std::make_unique<ShellInstallation>(context->settings);
    }
    void tearDown() {
        install.reset();
        context.reset();
        sim.reset();
    }
    // A fresh installation with this title in place of the first.
    void reinstall(const std::string& title) {
        install.reset();
        context->settings = Settings{};
        install = std::make_unique<ShellInstallation>(context->settings, title);
    }
    // A bus in real time in place of the virtual one; the context follows it.
    void useRealTimeBus() {
        Settings settings = context->settings;
        context.reset();
        sim = std::make_unique<SimulatedBus>(false);
        context = std::make_unique<AppContext>(sim->link);
        context->settings = settings;
    }
    AppContext& ctx() { return *context; }
    std::unique_ptr<SimulatedBus> sim;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<ShellInstallation> install;
};
