// A check of the installed package, run by scripts/package-check.sh as an
// ordinary user with Qt off screen, the installation found as the installed
// /usr/bin/fieldservice finds it: the Options dialog
// of the program, its language chosen and OK pressed, writes where that user
// keeps settings; run again without an argument, it prints what the
// installation loader reads. Not a test of the suite: it needs the package.
//
//   options_check [language]   prints "language=<code>" before and after OK
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <iostream>

#include "app/Installation.h"
#include "app/ui/OptionsDialog.h"
#include "link/DeviceLink.h"
#include "session/AppContext.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    DeviceLink link;
    AppContext ctx(link);
    if (!InitInstallation(ctx.settings, "/usr/bin/fieldservice", processEnvironment(), std::cerr) ||
        loadInstallationCore(ctx) != LoadResult::Ok)
        return 1;
    std::cout << "language=" << ctx.settings.language << std::endl;
    if (argc < 2) return 0;

    OptionsDialog dialog(ctx, nullptr, [&ctx] { return loadInstallationCore(ctx) == LoadResult::Ok; });
    auto* languages = dialog.findChild<QListWidget*>(QStringLiteral("1182"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    const auto found = languages ? languages->findItems(QString::fromUtf8(argv[1]), Qt::MatchExactly) : QList<QListWidgetItem*>();
    if (found.isEmpty() || !ok) return 1;
    languages->setCurrentItem(found.first());
    ok->click();
    std::cout << "language=" << ctx.settings.language << std::endl;
    return ctx.settings.language == argv[1] ? 0 : 1;
}
