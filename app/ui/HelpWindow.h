#pragma once
// The help viewer: one window with the help file of the current language,
// opened at a context anchor or at its contents. A missing or unreadable
// help file shows a short notice instead. Esc closes it.
#include <QString>
#include <QWidget>

class AppContext;
class QTextBrowser;

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    // The program's viewer: titled after the context's program and kept
    // where the operator left it.
    explicit HelpWindow(const AppContext& ctx, QWidget* parent = nullptr);

    // Loads helpFile (HTML) and scrolls to anchor ("contents" or a context
    // number); shows and raises the window. False when the file was missing.
    bool showHelp(const QString& helpFile, const QString& anchor);
    // The title names the program and the topic shown: the context's title,
    // " - " and text 33297 with "%s" replaced by the topic's heading.
    void setTitleParts(const AppContext& ctx);
    // The first heading after the anchor named anchor in html; empty when none.
    static QString topicAt(const QString& html, const QString& anchor);

    QTextBrowser* browser() const { return browser_; }

private:
    QTextBrowser* browser_;
    QString program_;
    QString topicPattern_ = QStringLiteral("%s");
};
