// A small chart widget painted with QPainter: a panel with title and foot lines, a left and a
// bottom axis with fixed ranges, a legend below the plot area, line series with pointers and bar
// series with one colour per point.
//
// The client area (the panel inside the 2-pixel sunken window border) is painted by one routine
// into an image; the screen shows exactly that image, so RenderClient() is what the user sees.
#pragma once

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

namespace chart {

// Colour value 0x00BBGGRR: red in the low byte.
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clGray = 0x808080;

QColor ToQColor(TColor color);

enum class TPointerStyle { psTriangle, psRectangle };

enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

enum class TSeriesKind { skLine, skBar };

struct TFontSpec {
    QString Family = QStringLiteral("Arial");
    int PixelSize = 11;
    TColor Color = clBlack;
};

struct TAxisSettings {
    double Minimum = 0.0;
    double Maximum = 10.0;
    double Increment = 0.0;   // 0: the chart picks the smallest step whose labels fit
    bool LabelsOnAxis = true; // numeric labels at the axis ends are drawn
    QString Title;
    TFontSpec TitleFont{QStringLiteral("Arial"), 13, clBlack};
};

struct TChartSettings {
    QStringList Title;
    QStringList Foot;
    TFontSpec TitleFont{QStringLiteral("Arial"), 13, clBlue};
    TFontSpec FootFont{QStringLiteral("Arial"), 13, clBlue};
    // Margins in percent of the drawing area's width (left, right) or height (top, bottom).
    int MarginLeft = 3;
    int MarginTop = 4;
    int MarginRight = 3;
    int MarginBottom = 4;
    TBevelCut BevelOuter = TBevelCut::bvRaised;
    TBevelCut BevelInner = TBevelCut::bvNone;
    TAxisSettings LeftAxis;
    TAxisSettings BottomAxis;
    bool LegendVisible = true;
    int LegendColorWidth = 25; // symbol width in percent of the widest legend text
};

struct TSeriesSettings {
    QString Title;
    TColor SeriesColor = clRed;
    bool Visible = true;
    bool PointerVisible = true;
    TPointerStyle PointerStyle = TPointerStyle::psRectangle;
    int PointerHorizSize = 3; // pixels from the centre to the edge
    int PointerVertSize = 3;
    int BarWidthPercent = 70;
};

// Index at which a point with X value x goes into a list ordered by ascending X: after the last
// element not greater than x (so equal X values keep the order in which they were added), at the
// front if every element is greater.
std::size_t OrderedInsertIndex(const std::vector<double>& xValues, double x);

// The crowding rule of text labels on an axis. Each label is given by its centre and its width in
// pixels, in drawing order; it claims 10 percent of its width as free space on either side. A
// label whose claimed span overlaps that of the label drawn before it is skipped. Returns, for
// each label, whether it is drawn.
struct TLabelExtent {
    double Centre;
    double Width;
};
std::vector<bool> SelectUncrowdedLabels(const std::vector<TLabelExtent>& labels);

// Axis number format "#,##0.###": thousands separated by commas, at most three decimals,
// trailing zeros dropped.
QString FormatAxisNumber(double value);

class TChart;

class TChartSeries {
public:
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    void ClearPoints();
    // Inserts the point in ascending X order; returns its index.
    std::int32_t AddPoint(double x, double y, const QString& label, TColor color);

    int Count() const { return static_cast<int>(Points.size()); }
    double XValue(int i) const { return Points.at(static_cast<std::size_t>(i)).X; }
    double YValue(int i) const { return Points.at(static_cast<std::size_t>(i)).Y; }
    QString Label(int i) const { return Points.at(static_cast<std::size_t>(i)).Label; }
    TColor PointColor(int i) const { return Points.at(static_cast<std::size_t>(i)).Color; }

    TSeriesKind Kind() const { return SeriesKind; }
    const TSeriesSettings& Settings() const { return SeriesSettings; }
    void SetSettings(const TSeriesSettings& settings);

private:
    friend class TChart;
    struct TPoint {
        double X;
        double Y;
        QString Label;
        TColor Color;
    };

    TChartSeries(TChart* owner, TSeriesKind kind, const TSeriesSettings& settings);

    TChart* Owner;
    TSeriesKind SeriesKind;
    TSeriesSettings SeriesSettings;
    std::vector<TPoint> Points;
};

// Where everything sits inside the client area, worked out from the settings, the series and the
// fonts. All rectangles are in client coordinates with inclusive right and bottom edges.
struct TChartLayout {
    QRect Client;
    QRect DrawingArea; // client less the bevels
    QRect ChartRect;   // drawing area less the margins
    QRect Plot;        // X minimum at Plot.left(), maximum at Plot.right(); Y likewise bottom-up
    QRect Legend;      // legend box without its shadow; empty when no legend is drawn
    int TitleTop = 0;
    int FootTop = 0;
    int AxisTitleLeft = 0;
    double LeftStep = 1.0;   // label step of the left axis
    double BottomStep = 1.0; // label step of the bottom axis in numeric mode
    double XMin = 0.0, XMax = 1.0, YMin = 0.0, YMax = 1.0;

    // Value-to-pixel mapping of the plot area.
    int XPos(double x) const;
    int YPos(double y) const;
};

class TChart : public QWidget {
    Q_OBJECT
public:
    // Width of the sunken window border around the client area.
    static constexpr int BorderWidth = 2;

    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    TChartSeries* AddLineSeries(const TSeriesSettings& settings);
    TChartSeries* AddBarSeries(const TSeriesSettings& settings);
    int SeriesCount() const { return static_cast<int>(Series.size()); }
    TChartSeries* SeriesAt(int i) const { return Series.at(static_cast<std::size_t>(i)).get(); }

    const TChartSettings& Settings() const { return ChartSettings; }
    void SetSettings(const TChartSettings& settings);

    // Empties the foot text and adds this one line.
    void ReplaceFootText(const QString& line);

    QPoint ScreenClientOrigin() const;
    int ClientWidth() const;
    int ClientHeight() const;

    // The client area exactly as the screen shows it.
    QImage RenderClient() const;

    TChartLayout Layout() const;
    int CalcXPos(double x) const { return Layout().XPos(x); }
    int CalcYPos(double y) const { return Layout().YPos(y); }
    // Width in pixels of each bar of a bar series (even).
    int BarWidth(const TChartSeries& series) const;
    // The labels the axes show at the current size, in drawing order.
    QStringList BottomAxisLabelTexts() const;
    QStringList LeftAxisLabelTexts() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class TChartSeries;
    struct TAxisLabel {
        double Value;
        QString Text;
    };

    void Changed();
    void PaintClient(QPainter& painter) const;
    void PaintBevel(QPainter& painter, const QRect& rect, TBevelCut cut) const;
    void PaintTitles(QPainter& painter, const TChartLayout& layout) const;
    void PaintLegend(QPainter& painter, const TChartLayout& layout) const;
    void PaintAxes(QPainter& painter, const TChartLayout& layout) const;
    void PaintLineSeries(QPainter& painter, const TChartLayout& layout,
                         const TChartSeries& series) const;
    void PaintBarSeries(QPainter& painter, const TChartLayout& layout,
                        const TChartSeries& series) const;
    void PaintPointer(QPainter& painter, const TChartSeries& series, QPoint centre,
                      TColor color) const;

    // The series whose point labels the bottom axis shows, or null when it shows numbers.
    const TChartSeries* LabelSource() const;
    std::vector<TAxisLabel> BottomLabels(const TChartLayout& layout) const;
    std::vector<TAxisLabel> LeftLabels(const TChartLayout& layout) const;
    std::vector<const TChartSeries*> LegendSeries() const;
    int LegendSymbolWidth() const;

    TChartSettings ChartSettings;
    std::vector<std::unique_ptr<TChartSeries>> Series;
};

} // namespace chart
