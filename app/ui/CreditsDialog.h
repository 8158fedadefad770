#pragma once
// The credits dialog (dialog 102): the program's about box. Two product lines
// from the language file, the picture, three labelled information lines and a
// closing line; only OK, and nothing changes.

#include <QDialog>

class AppContext;

class CreditsDialog : public QDialog {
    Q_OBJECT
public:
    CreditsDialog(const AppContext& ctx, QWidget* parent);
};

// The fixed information lines of the installation.
inline constexpr const char* creditsAuthorLine = "fieldservice developers";
inline constexpr const char* creditsContactLine = "the project's issue tracker";
inline constexpr const char* creditsRightsLine =
    "Copyright (C) fieldservice developers. All rights reserved.";

void runCreditsDialog(const AppContext& ctx, QWidget* parent);
