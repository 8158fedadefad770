#pragma once
// Dialog layouts are given in dialog units: a quarter of the average
// character width across, an eighth of the font height down. This turns them
// into pixels for the font the dialog uses, so controls keep their
// proportions whatever font the desktop has.

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

class DialogUnits {
public:
    explicit DialogUnits(const QWidget* dialog) {
        QFontMetrics metrics(dialog->font());
        const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        baseX_ = (metrics.horizontalAdvance(sample) / 26 + 1) / 2;
        baseY_ = metrics.height();
        if (baseX_ < 1) baseX_ = 1;
        if (baseY_ < 1) baseY_ = 1;
    }
    int x(int units) const { return units * baseX_ / 4; }
    int y(int units) const { return units * baseY_ / 8; }
    QRect rect(int left, int top, int width, int height) const {
        return QRect(x(left), y(top), x(width), y(height));
    }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }

private:
    int baseX_ = 6;
    int baseY_ = 13;
};
