#pragma once
// The help viewer: one window with the help file of the current language,
// opened at a context anchor or at its contents. A missing or unreadable
// help file shows a short notice instead.
#include <QString>
#include <QWidget>

class QTextBrowser;

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Loads helpFile (HTML) and scrolls to anchor ("contents" or a context
    // number); shows and raises the window. False when the file was missing.
    bool showHelp(const QString& helpFile, const QString& anchor);

    QTextBrowser* browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};
