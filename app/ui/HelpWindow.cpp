#include "app/ui/HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QVBoxLayout>

#include "session/AppContext.h"
#include "session/ui/WindowPlaceQt.h"
#include "widgets/EscapeClosesQt.h"
#include "widgets/ShellTextQt.h"

namespace {
// Help files are at most a few hundred kilobytes; anything far larger is not one.
constexpr qint64 MAX_HELP_FILE_BYTES = 16 * 1024 * 1024;
constexpr uint32_t HELP_TOPIC_TEXT = 33297;   // "Help: %s"
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("help"));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("text"));
    browser_->setOpenExternalLinks(false);
    browser_->setOpenLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(640, 480);
    browser_->setAccessibleName(QStringLiteral("help"));
    closeOnEscape(this);
}

HelpWindow::HelpWindow(const AppContext& ctx, QWidget* parent) : HelpWindow(parent) {
    setTitleParts(ctx);
    keepWindowPlace(this, ctx, "help");
}

void HelpWindow::setTitleParts(const AppContext& ctx) {
    program_ = shellText(ctx.settings.windowTitle);
    topicPattern_ = shellText(ctx.message(HELP_TOPIC_TEXT));
    browser_->setAccessibleName(program_);
}

// Each section of a help file starts with its anchor and then its heading.
QString HelpWindow::topicAt(const QString& html, const QString& anchor) {
    const QRegularExpression section(
        QStringLiteral("<a\\s+name\\s*=\\s*\"%1\"[^>]*>.*?<h[1-6][^>]*>(.*?)</h[1-6]>")
            .arg(QRegularExpression::escape(anchor)),
        QRegularExpression::DotMatchesEverythingOption | QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch found = section.match(html);
    if (!found.hasMatch()) return {};
    return QTextDocumentFragment::fromHtml(found.captured(1)).toPlainText().simplified();
}

bool HelpWindow::showHelp(const QString& helpFile, const QString& anchor) {
    QFile file(helpFile);
    bool loaded = false;
    QString html;
    if (file.open(QIODevice::ReadOnly) && file.size() <= MAX_HELP_FILE_BYTES) {
        html = QString::fromUtf8(file.readAll());
        // Relative links and pictures resolve beside the help file.
        browser_->document()->setBaseUrl(QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath()));
        browser_->setHtml(html);
        loaded = true;
    } else {
        browser_->setHtml(QStringLiteral("<p>The help file <b>%1</b> cannot be opened.</p>")
                              .arg(helpFile.toHtmlEscaped()));
    }
    QString topic = loaded ? topicAt(html, anchor) : QString();
    if (topic.isEmpty()) topic = QFileInfo(helpFile).fileName();
    QString shown = topicPattern_;
    shown.replace(QStringLiteral("%s"), topic);
    setWindowTitle(program_.isEmpty() ? shown : program_ + QStringLiteral(" - ") + shown);
    show();
    raise();
    activateWindow();
    if (loaded) browser_->scrollToAnchor(anchor);
    return loaded;
}
