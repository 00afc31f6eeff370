#include "report/Save.h"

#include "chart/Chart.h"
#include "gif/GifImage.h"
#include "platform/Bitmap.h"
#include "platform/Streams.h"
#include "platform/TextEncoding.h"

#include <QCoreApplication>
#include <QImage>
#include <cstring>

namespace report {

TReportPaths ReportPaths(const std::string& resultsFolder, const std::string& baseName) {
    const std::string stem = resultsFolder + baseName;
    return {stem + ".An.rtf", stem + ".Ож.gif", stem + ".Pa.gif", stem + ".ЭП.gif"};
}

std::string ReportText(const QStringList& lines) {
    std::string text;
    for (const QString& line : lines) {
        text += platform::Utf8ToCp1251(line.toStdString());
        text += "\r\n";
    }
    return text;
}

std::unique_ptr<platform::TBitmap> SnapshotChart(const chart::TChart& chart) {
    const QImage client = chart.RenderClient().convertToFormat(QImage::Format_RGB32);
    auto bitmap = std::make_unique<platform::TBitmap>(client.width(), client.height(),
                                                      platform::TPixelFormat::pf24bit);
    for (int y = 0; y < client.height(); ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(client.constScanLine(y));
        std::uint8_t* target = bitmap->ScanLine(y);
        for (int x = 0; x < client.width(); ++x) {
            const QRgb pixel = source[x];
            target[3 * x] = static_cast<std::uint8_t>(qBlue(pixel));
            target[3 * x + 1] = static_cast<std::uint8_t>(qGreen(pixel));
            target[3 * x + 2] = static_cast<std::uint8_t>(qRed(pixel));
        }
    }
    return bitmap;
}

void SaveReport(const std::string& resultsFolder, const std::string& baseName,
                const QStringList& lines, const profile::TProfileCharts& charts) {
    const TReportPaths paths = ReportPaths(resultsFolder, baseName);

    const std::string text = ReportText(lines);
    platform::WriteFileAtomically(paths.Text, [&text](platform::TStream& stream) {
        stream.WriteBuffer(text.data(), text.size());
    });

    // Let the window repaint before the charts are pictured.
    QCoreApplication::processEvents();

    gif::TGIFImage image;
    const std::pair<const chart::TChart*, const std::string*> snapshots[] = {
        {charts.ChartOg, &paths.General},
        {charts.ChartPa, &paths.Work},
        {charts.ChartE, &paths.Emotions},
    };
    for (const auto& [chart, path] : snapshots) {
        const std::unique_ptr<platform::TBitmap> bitmap = SnapshotChart(*chart);
        image.Assign(bitmap.get());
        image.SaveToFile(*path);
    }
}

} // namespace report
