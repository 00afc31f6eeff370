#include "chart/Chart.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace chart {

namespace {

// Pixel sizes of the axis furniture.
constexpr int AxisLineWidth = 2;
constexpr int TickLength = 4;
constexpr int MinorTickLength = 2;
constexpr int MinorTickCount = 3;
constexpr int LabelGap = 2;      // between a tick's outer end and its label
constexpr int AxisTitleGap = 4;  // between the rotated axis title and the left labels
constexpr int TitleGap = 4;      // below the title lines
constexpr int BlockGap = 4;      // between the bottom labels, the legend and the foot
constexpr int LegendPadding = 2; // inside the legend frame, above and below the text
constexpr int LegendInnerGap = 4;
constexpr int LegendEntryGap = 10;
constexpr int LegendShadow = 3;

constexpr TColor clHighlight = 0xFFFFFF;
constexpr TColor clShadow = 0x808080;
constexpr TColor clDarkShadow = 0x404040;
constexpr TColor clLight = 0xC8D0D4;

QFont MakeFont(const TFontSpec& fontSpec) {
    QFont font(fontSpec.Family);
    font.setPixelSize(fontSpec.PixelSize);
    // Crisp, unsmoothed text: the picture keeps few colours, as the snapshots want.
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QFont LabelFont() {
    return MakeFont(TFontSpec{});
}

// The label steps tried, smallest first: 1, 2, 5 times a power of ten, from one tenth of the
// range's order of magnitude up (1 for a range of 13), or from a fixed increment up.
std::vector<double> CandidateSteps(double range, double increment) {
    std::vector<double> steps;
    if (!(range > 0.0) || !std::isfinite(range)) {
        steps.push_back(1.0);
        return steps;
    }
    double decade = std::pow(10.0, std::floor(std::log10(range)) - 1.0);
    if (increment > 0.0) {
        steps.push_back(increment);
        decade = std::pow(10.0, std::floor(std::log10(increment)));
    }
    for (int i = 0; i < 40; ++i) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double step = m * decade;
            if (steps.empty() || step > steps.back() * (1.0 + 1e-9)) {
                steps.push_back(step);
            }
        }
        decade *= 10.0;
        if (steps.back() > range) {
            break;
        }
    }
    return steps;
}

// The numeric label values of an axis: every multiple of step in [min, max].
std::vector<double> StepValues(double min, double max, double step, bool labelsOnAxis) {
    std::vector<double> values;
    if (!(step > 0.0) || !(max >= min)) {
        return values;
    }
    const double eps = step * 1e-9;
    const double first = std::ceil((min - eps) / step) * step;
    for (int i = 0;; ++i) {
        double v = first + i * step;
        if (v > max + eps || i > 10000) {
            break;
        }
        if (std::fabs(v) < eps) {
            v = 0.0;
        }
        const bool atEnd = std::fabs(v - min) <= eps || std::fabs(v - max) <= eps;
        if (atEnd && !labelsOnAxis) {
            continue;
        }
        values.push_back(v);
    }
    return values;
}

void DottedHorizontal(QPainter& painter, int y, int x0, int x1) {
    for (int x = x0; x <= x1; x += 2) {
        painter.drawPoint(x, y);
    }
}

void DottedVertical(QPainter& painter, int x, int y0, int y1) {
    for (int y = y1; y >= y0; y -= 2) {
        painter.drawPoint(x, y);
    }
}

// Minor tick values: MinorTickCount evenly spaced between neighbouring ticks, and as many at the
// same spacing beyond each outermost tick, those inside [min, max].
std::vector<double> MinorTickValues(const std::vector<double>& ticks, double min, double max) {
    std::vector<double> minor;
    if (ticks.size() < 2) {
        return minor;
    }
    const double eps = (max - min) * 1e-9;
    const auto inside = [&](double v) { return v >= min - eps && v <= max + eps; };
    const double firstSpacing = (ticks[1] - ticks[0]) / (MinorTickCount + 1);
    for (int k = MinorTickCount; k >= 1; --k) {
        const double v = ticks.front() - k * firstSpacing;
        if (inside(v)) {
            minor.push_back(v);
        }
    }
    for (std::size_t i = 0; i + 1 < ticks.size(); ++i) {
        const double spacing = (ticks[i + 1] - ticks[i]) / (MinorTickCount + 1);
        for (int k = 1; k <= MinorTickCount; ++k) {
            minor.push_back(ticks[i] + k * spacing);
        }
    }
    const std::size_t n = ticks.size();
    const double lastSpacing = (ticks[n - 1] - ticks[n - 2]) / (MinorTickCount + 1);
    for (int k = 1; k <= MinorTickCount; ++k) {
        const double v = ticks.back() + k * lastSpacing;
        if (inside(v)) {
            minor.push_back(v);
        }
    }
    return minor;
}

} // namespace

QColor ToQColor(TColor color) {
    return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                  static_cast<int>((color >> 16) & 0xFFu));
}

std::size_t OrderedInsertIndex(const std::vector<double>& xValues, double x) {
    if (xValues.empty() || xValues.back() <= x) {
        return xValues.size();
    }
    // After the last value not greater than x: the first value greater than x, scanning from the
    // end, since the list is ordered.
    std::size_t i = xValues.size();
    while (i > 0 && xValues[i - 1] > x) {
        --i;
    }
    return i;
}

std::vector<bool> SelectUncrowdedLabels(const std::vector<TLabelExtent>& labels) {
    std::vector<bool> drawn(labels.size(), false);
    bool havePrevious = false;
    double previousRight = 0.0;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const double claim = labels[i].Width * 0.1;
        const double left = labels[i].Centre - labels[i].Width / 2.0 - claim;
        const double right = labels[i].Centre + labels[i].Width / 2.0 + claim;
        if (havePrevious && left < previousRight) {
            continue;
        }
        drawn[i] = true;
        havePrevious = true;
        previousRight = right;
    }
    return drawn;
}

QString FormatAxisNumber(double value) {
    if (!std::isfinite(value)) {
        return QString::number(value);
    }
    const bool negative = value < 0.0;
    // Rounded to three decimals, half away from zero, in thousandths.
    const double scaled = std::round(std::fabs(value) * 1000.0);
    if (scaled > 9.0e15) {
        return QString::number(value, 'g', 15);
    }
    const auto thousandths = static_cast<std::uint64_t>(scaled);
    std::uint64_t whole = thousandths / 1000;
    unsigned fraction = static_cast<unsigned>(thousandths % 1000);

    QString digits = QString::number(whole);
    QString grouped;
    for (int i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += QLatin1Char(',');
        }
        grouped += digits[i];
    }
    if (fraction != 0) {
        QString decimals = QStringLiteral("%1").arg(fraction, 3, 10, QLatin1Char('0'));
        while (decimals.endsWith(QLatin1Char('0'))) {
            decimals.chop(1);
        }
        grouped += QLatin1Char('.') + decimals;
    }
    if (negative && thousandths != 0) {
        grouped.prepend(QLatin1Char('-'));
    }
    return grouped;
}

// ---------------------------------------------------------------------------------------------
// TChartSeries

TChartSeries::TChartSeries(TChart* owner, TSeriesKind kind, const TSeriesSettings& settings)
    : Owner(owner), SeriesKind(kind), SeriesSettings(settings) {}

void TChartSeries::ClearPoints() {
    Points.clear();
    Owner->Changed();
}

std::int32_t TChartSeries::AddPoint(double x, double y, const QString& label, TColor color) {
    std::vector<double> xValues;
    xValues.reserve(Points.size());
    for (const TPoint& p : Points) {
        xValues.push_back(p.X);
    }
    const std::size_t index = OrderedInsertIndex(xValues, x);
    Points.insert(Points.begin() + static_cast<std::ptrdiff_t>(index), TPoint{x, y, label, color});
    Owner->Changed();
    return static_cast<std::int32_t>(index);
}

void TChartSeries::SetSettings(const TSeriesSettings& settings) {
    SeriesSettings = settings;
    Owner->Changed();
}

// ---------------------------------------------------------------------------------------------
// TChartLayout

int TChartLayout::XPos(double x) const {
    const double span = XMax - XMin;
    if (!(span != 0.0)) {
        return Plot.left();
    }
    const double pos = Plot.left() + (x - XMin) / span * (Plot.right() - Plot.left());
    return static_cast<int>(std::lround(std::clamp(pos, -1.0e6, 1.0e6)));
}

int TChartLayout::YPos(double y) const {
    const double span = YMax - YMin;
    if (!(span != 0.0)) {
        return Plot.bottom();
    }
    const double pos = Plot.bottom() - (y - YMin) / span * (Plot.bottom() - Plot.top());
    return static_cast<int>(std::lround(std::clamp(pos, -1.0e6, 1.0e6)));
}

// ---------------------------------------------------------------------------------------------
// TChart

TChart::TChart(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TChart::~TChart() = default;

TChartSeries* TChart::AddLineSeries(const TSeriesSettings& settings) {
    Series.push_back(
        std::unique_ptr<TChartSeries>(new TChartSeries(this, TSeriesKind::skLine, settings)));
    Changed();
    return Series.back().get();
}

TChartSeries* TChart::AddBarSeries(const TSeriesSettings& settings) {
    Series.push_back(
        std::unique_ptr<TChartSeries>(new TChartSeries(this, TSeriesKind::skBar, settings)));
    Changed();
    return Series.back().get();
}

void TChart::SetSettings(const TChartSettings& settings) {
    ChartSettings = settings;
    Changed();
}

void TChart::ReplaceFootText(const QString& line) {
    ChartSettings.Foot.clear();
    ChartSettings.Foot.append(line);
    Changed();
}

void TChart::Changed() {
    update();
}

QPoint TChart::ScreenClientOrigin() const {
    return mapToGlobal(QPoint(BorderWidth, BorderWidth));
}

int TChart::ClientWidth() const {
    return std::max(0, width() - 2 * BorderWidth);
}

int TChart::ClientHeight() const {
    return std::max(0, height() - 2 * BorderWidth);
}

const TChartSeries* TChart::LabelSource() const {
    for (const auto& s : Series) {
        if (s->Settings().Visible && !s->Points.empty() && !s->Points.front().Label.isEmpty()) {
            return s.get();
        }
    }
    return nullptr;
}

std::vector<const TChartSeries*> TChart::LegendSeries() const {
    std::vector<const TChartSeries*> result;
    if (!ChartSettings.LegendVisible) {
        return result;
    }
    for (const auto& s : Series) {
        if (s->Settings().Visible) {
            result.push_back(s.get());
        }
    }
    return result;
}

int TChart::LegendSymbolWidth() const {
    const QFontMetrics fm(LabelFont());
    int widest = 0;
    for (const TChartSeries* s : LegendSeries()) {
        widest = std::max(widest, fm.horizontalAdvance(s->Settings().Title));
    }
    return std::max(1, widest * ChartSettings.LegendColorWidth / 100);
}

TChartLayout TChart::Layout() const {
    TChartLayout l;
    const TChartSettings& s = ChartSettings;
    l.Client = QRect(0, 0, ClientWidth(), ClientHeight());
    l.XMin = s.BottomAxis.Minimum;
    l.XMax = s.BottomAxis.Maximum;
    l.YMin = s.LeftAxis.Minimum;
    l.YMax = s.LeftAxis.Maximum;

    int bevels = 0;
    if (s.BevelOuter != TBevelCut::bvNone) {
        ++bevels;
    }
    if (s.BevelInner != TBevelCut::bvNone) {
        ++bevels;
    }
    l.DrawingArea = l.Client.adjusted(bevels, bevels, -bevels, -bevels);
    const int w = l.DrawingArea.width();
    const int h = l.DrawingArea.height();
    l.ChartRect = l.DrawingArea.adjusted(w * s.MarginLeft / 100, h * s.MarginTop / 100,
                                         -(w * s.MarginRight / 100), -(h * s.MarginBottom / 100));

    const QFontMetrics titleFm(MakeFont(s.TitleFont));
    const QFontMetrics footFm(MakeFont(s.FootFont));
    const QFontMetrics axisTitleFm(MakeFont(s.LeftAxis.TitleFont));
    const QFontMetrics labelFm(LabelFont());
    const int labelHeight = labelFm.height();

    // Vertical: title at the top, foot at the bottom, the legend above the foot, the bottom axis
    // labels above the legend; the plot area takes what is left.
    l.TitleTop = l.ChartRect.top();
    int top = l.TitleTop + static_cast<int>(s.Title.size()) * titleFm.height();
    if (!s.Title.isEmpty()) {
        top += TitleGap;
    }
    l.FootTop = l.ChartRect.bottom() + 1 - static_cast<int>(s.Foot.size()) * footFm.height();
    int below = l.FootTop - BlockGap;

    const auto legendSeries = LegendSeries();
    if (!legendSeries.empty()) {
        const int symbolWidth = LegendSymbolWidth();
        int entriesWidth = 0;
        for (const TChartSeries* series : legendSeries) {
            if (entriesWidth > 0) {
                entriesWidth += LegendEntryGap;
            }
            entriesWidth +=
                symbolWidth + LegendInnerGap + labelFm.horizontalAdvance(series->Settings().Title);
        }
        const int boxWidth = entriesWidth + 2 * (LegendInnerGap + 1);
        const int boxHeight = labelHeight + 2 * (LegendPadding + 1);
        const int boxBottom = l.FootTop - BlockGap - LegendShadow;
        const int boxLeft = l.ChartRect.left() + (l.ChartRect.width() - boxWidth) / 2;
        l.Legend = QRect(boxLeft, boxBottom - boxHeight, boxWidth, boxHeight);
        below = l.Legend.top() - BlockGap;
    }

    const int plotTop = top + labelHeight / 2 + 1;
    // Below the plot's bottom row: the rest of the axis line, the ticks, the gap, the labels.
    const int plotBottom = below - labelHeight - LabelGap - TickLength - (AxisLineWidth - 1);

    // The left axis label step: the smallest whose labels, one text height each, fit.
    const double yRange = l.YMax - l.YMin;
    const int plotHeight = std::max(1, plotBottom - plotTop);
    const auto steps = CandidateSteps(yRange, s.LeftAxis.Increment);
    l.LeftStep = steps.back();
    for (double step : steps) {
        if (yRange <= 0.0 || plotHeight * step / yRange >= labelHeight) {
            l.LeftStep = step;
            break;
        }
    }

    // Horizontal: the rotated axis title, the left labels, the ticks, the axis line.
    l.AxisTitleLeft = l.ChartRect.left() + 1;
    int labelsRight = l.AxisTitleLeft;
    if (!s.LeftAxis.Title.isEmpty()) {
        labelsRight += axisTitleFm.height() + AxisTitleGap;
    }
    int widestLabel = 0;
    for (double v : StepValues(l.YMin, l.YMax, l.LeftStep, s.LeftAxis.LabelsOnAxis)) {
        widestLabel = std::max(widestLabel, labelFm.horizontalAdvance(FormatAxisNumber(v)));
    }
    labelsRight += widestLabel;
    const int plotLeft = labelsRight + LabelGap + TickLength + AxisLineWidth - 1;
    const int plotRight = l.ChartRect.right();
    l.Plot = QRect(QPoint(plotLeft, plotTop),
                   QPoint(std::max(plotLeft, plotRight), std::max(plotTop, plotBottom)));

    // The bottom axis step in numeric mode: the smallest whose labels do not crowd each other.
    const double xRange = l.XMax - l.XMin;
    const auto xSteps = CandidateSteps(xRange, s.BottomAxis.Increment);
    l.BottomStep = xSteps.back();
    for (double step : xSteps) {
        int widest = 0;
        for (double v : StepValues(l.XMin, l.XMax, step, true)) {
            widest = std::max(widest, labelFm.horizontalAdvance(FormatAxisNumber(v)));
        }
        if (xRange <= 0.0 || l.Plot.width() * step / xRange >= widest * 1.2 + 1) {
            l.BottomStep = step;
            break;
        }
    }
    return l;
}

int TChart::BarWidth(const TChartSeries& series) const {
    const TChartLayout l = Layout();
    const int axisLength = l.Plot.right() - l.Plot.left();
    const double slot = static_cast<double>(axisLength) / (series.Count() + 1);
    int width = static_cast<int>(slot * series.Settings().BarWidthPercent / 100.0);
    width -= width % 2;
    return std::max(2, width);
}

std::vector<TChart::TAxisLabel> TChart::BottomLabels(const TChartLayout& layout) const {
    std::vector<TAxisLabel> result;
    const QFontMetrics fm(LabelFont());
    const double eps = (layout.XMax - layout.XMin) * 1e-9;
    std::vector<TAxisLabel> candidates;
    if (const TChartSeries* source = LabelSource()) {
        for (const auto& p : source->Points) {
            if (!p.Label.isEmpty() && p.X >= layout.XMin - eps && p.X <= layout.XMax + eps) {
                candidates.push_back(TAxisLabel{p.X, p.Label});
            }
        }
    } else {
        for (double v : StepValues(layout.XMin, layout.XMax, layout.BottomStep,
                                   ChartSettings.BottomAxis.LabelsOnAxis)) {
            candidates.push_back(TAxisLabel{v, FormatAxisNumber(v)});
        }
    }
    std::vector<TLabelExtent> extents;
    for (const TAxisLabel& label : candidates) {
        extents.push_back(TLabelExtent{static_cast<double>(layout.XPos(label.Value)),
                                       static_cast<double>(fm.horizontalAdvance(label.Text))});
    }
    const std::vector<bool> drawn = SelectUncrowdedLabels(extents);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (drawn[i]) {
            result.push_back(candidates[i]);
        }
    }
    return result;
}

std::vector<TChart::TAxisLabel> TChart::LeftLabels(const TChartLayout& layout) const {
    std::vector<TAxisLabel> result;
    for (double v : StepValues(layout.YMin, layout.YMax, layout.LeftStep,
                               ChartSettings.LeftAxis.LabelsOnAxis)) {
        result.push_back(TAxisLabel{v, FormatAxisNumber(v)});
    }
    return result;
}

QStringList TChart::BottomAxisLabelTexts() const {
    QStringList texts;
    for (const TAxisLabel& label : BottomLabels(Layout())) {
        texts.append(label.Text);
    }
    return texts;
}

QStringList TChart::LeftAxisLabelTexts() const {
    QStringList texts;
    for (const TAxisLabel& label : LeftLabels(Layout())) {
        texts.append(label.Text);
    }
    return texts;
}

QImage TChart::RenderClient() const {
    QImage image(ClientWidth(), ClientHeight(), QImage::Format_RGB32);
    if (image.isNull()) {
        return image;
    }
    QPainter painter(&image);
    PaintClient(painter);
    return image;
}

void TChart::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int w = width();
    const int h = height();
    // The sunken window edge: shadow and dark shadow above and to the left, highlight and light
    // below and to the right.
    painter.setPen(ToQColor(clShadow));
    painter.drawLine(0, 0, w - 2, 0);
    painter.drawLine(0, 0, 0, h - 2);
    painter.setPen(ToQColor(clDarkShadow));
    painter.drawLine(1, 1, w - 3, 1);
    painter.drawLine(1, 1, 1, h - 3);
    painter.setPen(ToQColor(clHighlight));
    painter.drawLine(0, h - 1, w - 1, h - 1);
    painter.drawLine(w - 1, 0, w - 1, h - 1);
    painter.setPen(ToQColor(clLight));
    painter.drawLine(1, h - 2, w - 2, h - 2);
    painter.drawLine(w - 2, 1, w - 2, h - 2);
    const QImage client = RenderClient();
    if (!client.isNull()) {
        painter.drawImage(BorderWidth, BorderWidth, client);
    }
}

void TChart::PaintClient(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    const TChartLayout layout = Layout();

    // Background and bevels.
    painter.fillRect(layout.Client, ToQColor(clWhite));
    QRect bevelRect = layout.Client;
    if (ChartSettings.BevelOuter != TBevelCut::bvNone) {
        PaintBevel(painter, bevelRect, ChartSettings.BevelOuter);
        bevelRect.adjust(1, 1, -1, -1);
    }
    if (ChartSettings.BevelInner != TBevelCut::bvNone) {
        PaintBevel(painter, bevelRect, ChartSettings.BevelInner);
    }

    PaintTitles(painter, layout);
    PaintLegend(painter, layout);

    // The back wall: a frame around the plot area, not filled.
    painter.setPen(ToQColor(clBlack));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(layout.Plot.adjusted(0, 0, -1, -1));

    PaintAxes(painter, layout);

    for (const auto& series : Series) {
        if (!series->Settings().Visible) {
            continue;
        }
        if (series->Kind() == TSeriesKind::skLine) {
            PaintLineSeries(painter, layout, *series);
        } else {
            PaintBarSeries(painter, layout, *series);
        }
    }
}

void TChart::PaintBevel(QPainter& painter, const QRect& rect, TBevelCut cut) const {
    TColor topLeft = clHighlight;
    TColor bottomRight = clShadow;
    switch (cut) {
    case TBevelCut::bvNone:
        return;
    case TBevelCut::bvRaised:
        break;
    case TBevelCut::bvLowered:
        std::swap(topLeft, bottomRight);
        break;
    case TBevelCut::bvSpace:
        bottomRight = clHighlight;
        break;
    }
    painter.setPen(ToQColor(topLeft));
    painter.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
    painter.drawLine(rect.left(), rect.top(), rect.left(), rect.bottom());
    painter.setPen(ToQColor(bottomRight));
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
}

void TChart::PaintTitles(QPainter& painter, const TChartLayout& layout) const {
    const auto paintLines = [&](const QStringList& lines, const TFontSpec& fontSpec, int top) {
        const QFont font = MakeFont(fontSpec);
        const QFontMetrics fm(font);
        painter.setFont(font);
        painter.setPen(ToQColor(fontSpec.Color));
        for (const QString& line : lines) {
            const int width = fm.horizontalAdvance(line);
            const int left = layout.ChartRect.left() + (layout.ChartRect.width() - width) / 2;
            painter.drawText(QPoint(left, top + fm.ascent()), line);
            top += fm.height();
        }
    };
    paintLines(ChartSettings.Title, ChartSettings.TitleFont, layout.TitleTop);
    paintLines(ChartSettings.Foot, ChartSettings.FootFont, layout.FootTop);
}

void TChart::PaintLegend(QPainter& painter, const TChartLayout& layout) const {
    const auto entries = LegendSeries();
    if (entries.empty() || layout.Legend.isEmpty()) {
        return;
    }
    const QRect& box = layout.Legend;
    painter.fillRect(box.translated(LegendShadow, LegendShadow), ToQColor(clBlack));
    painter.fillRect(box, ToQColor(clWhite));
    painter.setPen(ToQColor(clBlack));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(0, 0, -1, -1));

    const QFont font = LabelFont();
    const QFontMetrics fm(font);
    const int symbolWidth = LegendSymbolWidth();
    const int textTop = box.top() + 1 + LegendPadding;
    const int middle = textTop + fm.height() / 2;
    int x = box.left() + 1 + LegendInnerGap;
    for (const TChartSeries* series : entries) {
        const TSeriesSettings& settings = series->Settings();
        if (series->Kind() == TSeriesKind::skLine) {
            painter.setPen(ToQColor(settings.SeriesColor));
            painter.drawLine(x, middle, x + symbolWidth - 1, middle);
            if (settings.PointerVisible) {
                PaintPointer(painter, *series, QPoint(x + (symbolWidth - 1) / 2, middle),
                             settings.SeriesColor);
            }
        } else {
            const QRect swatch(x, textTop + 2, symbolWidth, fm.height() - 4);
            painter.fillRect(swatch, ToQColor(clBlack));
            painter.fillRect(swatch.adjusted(1, 1, -1, -1), ToQColor(settings.SeriesColor));
        }
        x += symbolWidth + LegendInnerGap;
        painter.setFont(font);
        painter.setPen(ToQColor(clBlack));
        painter.drawText(QPoint(x, textTop + fm.ascent()), settings.Title);
        x += fm.horizontalAdvance(settings.Title) + LegendEntryGap;
    }
}

void TChart::PaintAxes(QPainter& painter, const TChartLayout& layout) const {
    const QRect& plot = layout.Plot;
    const QFont font = LabelFont();
    const QFontMetrics fm(font);
    const QColor gray = ToQColor(clGray);
    const QColor black = ToQColor(clBlack);

    // Left axis: ticks, minor ticks, grid lines, labels.
    const auto leftLabels = LeftLabels(layout);
    std::vector<double> leftTicks;
    for (const TAxisLabel& label : leftLabels) {
        leftTicks.push_back(label.Value);
    }
    const int tickRight = plot.left() - AxisLineWidth + 1 - 1; // just outside the axis line
    painter.setPen(gray);
    for (double v : MinorTickValues(leftTicks, layout.YMin, layout.YMax)) {
        const int y = layout.YPos(v);
        painter.drawLine(tickRight - MinorTickLength + 1, y, tickRight, y);
    }
    painter.setFont(font);
    for (const TAxisLabel& label : leftLabels) {
        const int y = layout.YPos(label.Value);
        painter.setPen(gray);
        painter.drawLine(tickRight - TickLength + 1, y, tickRight, y);
        if (y > plot.top() && y < plot.bottom()) {
            DottedHorizontal(painter, y, plot.left() + 1, plot.right() - 1);
        }
        const int width = fm.horizontalAdvance(label.Text);
        const int right = tickRight - TickLength - LabelGap + 1;
        const int baseline = y - fm.height() / 2 + fm.ascent();
        painter.setPen(black);
        painter.drawText(QPoint(right - width, baseline), label.Text);
    }

    // Left axis title, rotated to read from bottom to top.
    if (!ChartSettings.LeftAxis.Title.isEmpty()) {
        const QFont titleFont = MakeFont(ChartSettings.LeftAxis.TitleFont);
        const QFontMetrics titleFm(titleFont);
        const QString& title = ChartSettings.LeftAxis.Title;
        const int width = titleFm.horizontalAdvance(title);
        painter.save();
        painter.setFont(titleFont);
        painter.setPen(ToQColor(ChartSettings.LeftAxis.TitleFont.Color));
        painter.translate(layout.AxisTitleLeft + titleFm.ascent(),
                          plot.top() + (plot.height() + width) / 2);
        painter.rotate(-90.0);
        painter.drawText(QPoint(0, 0), title);
        painter.restore();
    }

    // Bottom axis.
    const auto bottomLabels = BottomLabels(layout);
    std::vector<double> bottomTicks;
    for (const TAxisLabel& label : bottomLabels) {
        bottomTicks.push_back(label.Value);
    }
    const int tickTop = plot.bottom() + AxisLineWidth;
    painter.setPen(gray);
    for (double v : MinorTickValues(bottomTicks, layout.XMin, layout.XMax)) {
        const int x = layout.XPos(v);
        painter.drawLine(x, tickTop, x, tickTop + MinorTickLength - 1);
    }
    for (const TAxisLabel& label : bottomLabels) {
        const int x = layout.XPos(label.Value);
        painter.setPen(gray);
        painter.drawLine(x, tickTop, x, tickTop + TickLength - 1);
        if (x > plot.left() && x < plot.right()) {
            DottedVertical(painter, x, plot.top() + 1, plot.bottom() - 1);
        }
        const int width = fm.horizontalAdvance(label.Text);
        painter.setPen(black);
        painter.drawText(QPoint(x - width / 2, tickTop + TickLength + LabelGap + fm.ascent()),
                         label.Text);
    }

    // The axis lines, over the frame and the ends of the grid.
    painter.fillRect(QRect(QPoint(plot.left() - AxisLineWidth + 1, plot.top()),
                           QPoint(plot.left(), plot.bottom() + AxisLineWidth - 1)),
                     black);
    painter.fillRect(QRect(QPoint(plot.left() - AxisLineWidth + 1, plot.bottom()),
                           QPoint(plot.right(), plot.bottom() + AxisLineWidth - 1)),
                     black);
}

void TChart::PaintPointer(QPainter& painter, const TChartSeries& series, QPoint centre,
                          TColor color) const {
    const int hs = std::max(0, series.Settings().PointerHorizSize);
    const int vs = std::max(0, series.Settings().PointerVertSize);
    const QColor black = ToQColor(clBlack);
    const QColor fill = ToQColor(color);
    if (series.Settings().PointerStyle == TPointerStyle::psRectangle) {
        const QRect outer(centre.x() - hs, centre.y() - vs, 2 * hs + 1, 2 * vs + 1);
        painter.fillRect(outer, black);
        painter.fillRect(outer.adjusted(1, 1, -1, -1), fill);
        return;
    }
    // Triangle, apex up: each row spans the centre plus a half-width that grows, rounded, from 0
    // at the apex to hs at the base; the base row and the ends of every row form the outline.
    const int rows = 2 * vs + 1;
    for (int r = 0; r < rows; ++r) {
        const int half = rows > 1 ? (2 * r * hs + rows - 1) / (2 * (rows - 1)) : hs;
        const int y = centre.y() - vs + r;
        const int left = centre.x() - half;
        const int right = centre.x() + half;
        if (r == rows - 1 || right - left < 2) {
            painter.fillRect(QRect(QPoint(left, y), QPoint(right, y)), black);
            continue;
        }
        painter.fillRect(QRect(QPoint(left, y), QPoint(left, y)), black);
        painter.fillRect(QRect(QPoint(right, y), QPoint(right, y)), black);
        painter.fillRect(QRect(QPoint(left + 1, y), QPoint(right - 1, y)), fill);
    }
}

void TChart::PaintLineSeries(QPainter& painter, const TChartLayout& layout,
                             const TChartSeries& series) const {
    const auto& points = series.Points;
    painter.save();
    painter.setClipRect(layout.Plot);
    for (std::size_t i = 1; i < points.size(); ++i) {
        painter.setPen(ToQColor(points[i].Color));
        painter.drawLine(layout.XPos(points[i - 1].X), layout.YPos(points[i - 1].Y),
                         layout.XPos(points[i].X), layout.YPos(points[i].Y));
    }
    painter.restore();
    if (!series.Settings().PointerVisible) {
        return;
    }
    painter.save();
    painter.setClipRect(layout.DrawingArea);
    for (const auto& p : points) {
        PaintPointer(painter, series, QPoint(layout.XPos(p.X), layout.YPos(p.Y)), p.Color);
    }
    painter.restore();
}

void TChart::PaintBarSeries(QPainter& painter, const TChartLayout& layout,
                            const TChartSeries& series) const {
    const int width = BarWidth(series);
    painter.save();
    painter.setClipRect(layout.Plot.adjusted(0, 0, 0, AxisLineWidth - 1));
    const int zero = layout.YPos(0.0);
    for (const auto& p : series.Points) {
        const int x = layout.XPos(p.X);
        const int y = layout.YPos(p.Y);
        const QRect bar(QPoint(x - width / 2, std::min(y, zero)),
                        QPoint(x - width / 2 + width - 1, std::max(y, zero)));
        painter.fillRect(bar, ToQColor(clBlack));
        if (bar.width() > 2 && bar.height() > 2) {
            painter.fillRect(bar.adjusted(1, 1, -1, -1), ToQColor(p.Color));
        }
    }
    painter.restore();
}

} // namespace chart
