#pragma once
// The font of texts laid out in columns (reports, tables of values, the bus
// monitor). What makes the columns line up is that every character has the
// same advance; fontconfig's fixed-pitch mark says less: some truly
// monospaced families lack it, and the family "monospace" stands for can be
// one of them. So the families are tried by what they measure.

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>
#include <QStringList>

// True when 'i', 'W', 'M' and '.' advance equally in font.
inline bool hasEqualAdvances(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QLatin1Char('M'));
    for (QLatin1Char c : {QLatin1Char('i'), QLatin1Char('W'), QLatin1Char('.')})
        if (metrics.horizontalAdvance(c) != width) return false;
    return width > 0;
}

// A monospaced font: the requested family when it measures so, else
// "DejaVu Sans Mono" (the family the package depends on), "Liberation Mono",
// then the system's fixed font. size: a pixel height when positive.
inline QFont monospacedFont(int pixelSize = 0, const QString& requested = QString()) {
    QList<QFont> candidates;
    QStringList families;
    if (!requested.isEmpty()) families << requested;
    families << QStringLiteral("DejaVu Sans Mono") << QStringLiteral("Liberation Mono");
    for (const QString& family : families) {
        QFont font(family);
        font.setStyleHint(QFont::TypeWriter);
        candidates << font;
    }
    candidates << QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (QFont& font : candidates) {
        font.setFixedPitch(true);
        if (pixelSize > 0) font.setPixelSize(pixelSize);
        if (hasEqualAdvances(font)) return font;
    }
    return candidates.last();
}
