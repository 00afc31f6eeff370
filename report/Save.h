// The Save command: the report text and a GIF snapshot of each chart, written
// into the Results folder under the output base name.
#pragma once

#include "profile/Charts.h"

#include <QStringList>
#include <memory>
#include <string>

namespace chart {
class TChart;
}
namespace platform {
class TBitmap;
}

namespace report {

// The four report files, in the order Save writes them.
struct TReportPaths {
    std::string Text;     // <base>.An.rtf
    std::string General;  // <base>.Ож.gif, ChartOg
    std::string Work;     // <base>.Pa.gif, ChartPa
    std::string Emotions; // <base>.ЭП.gif, ChartE
};
// resultsFolder ends in '/'; the names are UTF-8.
TReportPaths ReportPaths(const std::string& resultsFolder, const std::string& baseName);

// The text panel's lines as Windows-1251 bytes, CR LF after each line.
std::string ReportText(const QStringList& lines);

// The chart's client area exactly as the screen shows it, as a 24-bit bitmap.
std::unique_ptr<platform::TBitmap> SnapshotChart(const chart::TChart& chart);

// Writes the report text, lets pending events run once so the window is
// repainted, then writes the three chart snapshots with one GIF image. Each
// file goes through a temporary file renamed over the target when complete; a
// failure stops the command and leaves earlier files as they were.
void SaveReport(const std::string& resultsFolder, const std::string& baseName,
                const QStringList& lines, const profile::TProfileCharts& charts);

} // namespace report
