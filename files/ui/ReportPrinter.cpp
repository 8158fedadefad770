#include "files/ui/ReportPrinter.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <filesystem>

#include "files/ReportPages.h"
#include "session/AppContext.h"
#include "widgets/MonospacedFontQt.h"
#include "widgets/ShellTextQt.h"

namespace {
constexpr int PDF_RESOLUTION = 300;
constexpr qreal MARGIN_MM = 15;
// Below the last line of a page: one empty line, then the footer.
constexpr int FOOTER_LINES = 2;

QFont pageFont(QPaintDevice& device, qreal width) {
    QFont font = monospacedFont();
    font.setPointSizeF(10);
    // Sized from a measured line of full width, so any fixed font fits.
    const qreal measured = QFontMetricsF(font, &device).horizontalAdvance(QString(REPORT_PAGE_COLUMNS, QLatin1Char('M')));
    if (measured > 0) font.setPointSizeF(10 * width / measured * 0.99);
    return font;
}
}  // namespace

bool paintReport(const AppContext& ctx, QPagedPaintDevice& device, const std::string& report,
                 const ReportHeading& heading) {
    device.setPageMargins(QMarginsF(MARGIN_MM, MARGIN_MM, MARGIN_MM, MARGIN_MM), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const QRect area = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const qreal width = area.width();
    const qreal height = area.height();
    const QFont font = pageFont(device, width);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &device);
    const qreal step = metrics.lineSpacing();
    const int linesPerPage = static_cast<int>(height / step) - FOOTER_LINES;
    const std::vector<ReportPage> pages = paginateReport(ctx.texts, report, linesPerPage, heading);
    for (size_t p = 0; p < pages.size(); ++p) {
        if (p > 0 && !device.newPage()) return false;
        qreal y = metrics.ascent();
        for (const std::string& line : pages[p].heading) {
            painter.drawText(QPointF(0, y), shellText(line));
            y += step;
        }
        for (const std::string& line : pages[p].lines) {
            painter.drawText(QPointF(0, y), shellText(line));
            y += step;
        }
        const QString footer = shellText(pages[p].footer);
        const qreal footerY = height - metrics.descent();
        painter.drawText(QPointF((width - metrics.horizontalAdvance(footer)) / 2, footerY), footer);
    }
    return painter.end();
}

std::string printJobName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

bool writeReportPdf(AppContext& ctx, const std::string& path, const std::string& report,
                    const ReportHeading& heading) {
    QFile file(QString::fromStdString(path));
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (written) {
        QPdfWriter writer(&file);
        writer.setResolution(PDF_RESOLUTION);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setTitle(QString::fromStdString(printJobName(path)));
        written = paintReport(ctx, writer, report, heading);
    }
    if (written) {
        file.close();
        written = file.error() == QFileDevice::NoError;
    }
    if (!written) {
        if (file.isOpen()) file.close();
        file.remove();
        ctx.showFileText(4, path);
    }
    return written;
}
