#pragma once
// Paints a report on paper or into a PDF: the pages of paginateReport in a
// fixed-pitch font sized so that one page width holds 75 columns, the
// heading at the top and the page number centred at the foot of each page.
#include <string>

#include "files/ReportPages.h"

class AppContext;
class QPagedPaintDevice;

// False when the device could not be painted on.
bool paintReport(const AppContext& ctx, QPagedPaintDevice& device, const std::string& report,
                 const ReportHeading& heading);
// The report as a PDF file at path (A4); false after text 4 naming the file.
bool writeReportPdf(AppContext& ctx, const std::string& path, const std::string& report,
                    const ReportHeading& heading);
// The name a print job goes by: the file's name without its folder. A print
// dialog builds its proposed output file from it, so a full path would
// become a name that cannot be written.
std::string printJobName(const std::string& path);
