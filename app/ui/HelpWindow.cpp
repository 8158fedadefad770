#include "app/ui/HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// Help files are at most a few hundred kilobytes; anything far larger is not one.
constexpr qint64 MAX_HELP_FILE_BYTES = 16 * 1024 * 1024;
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("help"));
    browser_ = new QTextBrowser(this);
    browser_->setOpenExternalLinks(false);
    browser_->setOpenLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(640, 480);
}

bool HelpWindow::showHelp(const QString& helpFile, const QString& anchor) {
    QFile file(helpFile);
    bool loaded = false;
    if (file.open(QIODevice::ReadOnly) && file.size() <= MAX_HELP_FILE_BYTES) {
        const QByteArray content = file.readAll();
        // Relative links and pictures resolve beside the help file.
        browser_->document()->setBaseUrl(QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath()));
        browser_->setHtml(QString::fromUtf8(content));
        loaded = true;
    } else {
        browser_->setHtml(QStringLiteral("<p>The help file <b>%1</b> cannot be opened.</p>")
                              .arg(helpFile.toHtmlEscaped()));
    }
    setWindowTitle(QFileInfo(helpFile).fileName());
    show();
    raise();
    activateWindow();
    if (loaded) browser_->scrollToAnchor(anchor);
    return loaded;
}
