#include "profile/Charts.h"

namespace profile {

namespace {

using chart::TBevelCut;
using chart::TChart;
using chart::TChartSettings;
using chart::TPointerStyle;
using chart::TSeriesSettings;

// Point labels of the bottom axes: the seven scales, and the four emotional scores (the second
// and the fourth end in a Latin C).
const std::array<QString, 7> ScaleLabelTexts = {
    QStringLiteral(" П"), QStringLiteral(" К"), QStringLiteral(" С"), QStringLiteral(" О"),
    QStringLiteral(" Д"), QStringLiteral("ДР"), QStringLiteral("ОД")};
const std::array<QString, 4> EmotionLabels = {QStringLiteral("Э-А"), QStringLiteral("Э-C"),
                                              QStringLiteral("Ф-А"), QStringLiteral("Ф-C")};
constexpr std::array<chart::TColor, 4> EmotionColors = {RealColor, IdealColor, RealColor,
                                                        IdealColor};

// Settings the three charts share.
TChartSettings CommonSettings() {
    TChartSettings s;
    s.TitleFont = chart::TFontSpec{QStringLiteral("Arial"), 13, chart::clBlue};
    s.FootFont = s.TitleFont;
    s.BevelInner = TBevelCut::bvRaised;
    s.MarginLeft = 0;
    s.MarginTop = 1;
    s.MarginRight = 3;
    s.BottomAxis.Minimum = 0.0;
    s.BottomAxis.LabelsOnAxis = false;
    s.LeftAxis.Minimum = 0.0;
    s.LeftAxis.Maximum = 13.0;
    s.LeftAxis.LabelsOnAxis = true;
    s.LeftAxis.Title = QStringLiteral("Балл по шкале");
    s.LeftAxis.TitleFont = s.TitleFont;
    s.LegendColorWidth = 25;
    return s;
}

TChart* MakeChart(QWidget* parent, const QRect& place, const TChartSettings& settings) {
    auto* c = new TChart(parent);
    c->setGeometry(place);
    c->SetSettings(settings);
    c->hide();
    return c;
}

TSeriesSettings LineSeries(const QString& title, chart::TColor color, TPointerStyle style) {
    TSeriesSettings s;
    s.Title = title;
    s.SeriesColor = color;
    s.PointerVisible = true;
    s.PointerStyle = style;
    s.PointerHorizSize = 3;
    s.PointerVertSize = 3;
    return s;
}

// One profile chart: the ideal series (red triangles) and the real series (blue squares).
void AddProfileSeries(TChart* c, chart::TChartSeries*& ideal, chart::TChartSeries*& real) {
    ideal = c->AddLineSeries(
        LineSeries(QStringLiteral("Идеальное"), IdealColor, TPointerStyle::psTriangle));
    real = c->AddLineSeries(
        LineSeries(QStringLiteral("Реальное"), RealColor, TPointerStyle::psRectangle));
}

void PlotScales(chart::TChartSeries* series, const std::array<std::int32_t, 32>& profile,
                std::size_t first, chart::TColor color) {
    for (std::size_t k = 0; k < ScaleLabelTexts.size(); ++k) {
        series->AddPoint(static_cast<double>(k + 1), static_cast<double>(profile[first + k]),
                         ScaleLabelTexts[k], color);
    }
}

} // namespace

TProfileCharts CreateProfileCharts(QWidget* parent) {
    TProfileCharts charts;

    TChartSettings og = CommonSettings();
    og.Title = QStringList{QStringLiteral("Общежитейская (Ож)")};
    og.Foot = QStringList{QStringLiteral("Код: 11111  Имя: ")};
    og.MarginBottom = 3;
    og.BevelOuter = TBevelCut::bvRaised;
    og.BottomAxis.Maximum = 8.0;
    og.BottomAxis.Increment = 1.0;
    og.LegendVisible = true;
    charts.ChartOg = MakeChart(parent, QRect(0, 0, 512, 400), og);
    AddProfileSeries(charts.ChartOg, charts.SeriesOgId, charts.SeriesOgRe);

    TChartSettings pa = CommonSettings();
    pa.Title = QStringList{QStringLiteral("Рабочая - Учебная (Ра)")};
    pa.Foot = QStringList{QStringLiteral("Код: 11111  Имя: ")};
    pa.MarginBottom = 3;
    pa.BevelOuter = TBevelCut::bvSpace;
    pa.BottomAxis.Maximum = 8.0;
    pa.BottomAxis.Increment = 0.0;
    pa.LegendVisible = true;
    charts.ChartPa = MakeChart(parent, QRect(512, 0, 512, 400), pa);
    AddProfileSeries(charts.ChartPa, charts.SeriesPaId, charts.SeriesPaRe);

    TChartSettings e = CommonSettings();
    e.Title = QStringList{QStringLiteral("Эмоциональное поведение")};
    e.Foot = QStringList{QStringLiteral("Номер высказывания")};
    e.MarginBottom = 2;
    e.BevelOuter = TBevelCut::bvSpace;
    e.BottomAxis.Maximum = 5.0;
    e.BottomAxis.Increment = 1.0;
    e.LegendVisible = false;
    charts.ChartE = MakeChart(parent, QRect(0, 400, 512, 321), e);
    TSeriesSettings bars;
    bars.Title = QStringLiteral("SeriesE");
    bars.SeriesColor = chart::clRed;
    bars.PointerVisible = false;
    bars.BarWidthPercent = 70;
    charts.SeriesE = charts.ChartE->AddBarSeries(bars);

    return charts;
}

void PlotProfile(const TProfileCharts& charts, const std::array<std::int32_t, 32>& profile,
                 const QString& identification) {
    charts.SeriesOgId->ClearPoints();
    charts.SeriesOgRe->ClearPoints();
    charts.SeriesPaId->ClearPoints();
    charts.SeriesPaRe->ClearPoints();
    charts.SeriesE->ClearPoints();

    PlotScales(charts.SeriesOgId, profile, 0, IdealColor);
    PlotScales(charts.SeriesOgRe, profile, 7, RealColor);
    charts.ChartOg->ReplaceFootText(identification);

    PlotScales(charts.SeriesPaId, profile, 14, IdealColor);
    PlotScales(charts.SeriesPaRe, profile, 21, RealColor);
    charts.ChartPa->ReplaceFootText(identification);

    for (std::size_t i = 0; i < EmotionLabels.size(); ++i) {
        charts.SeriesE->AddPoint(static_cast<double>(i + 1), static_cast<double>(profile[28 + i]),
                                 EmotionLabels[i], EmotionColors[i]);
    }
    charts.ChartE->ReplaceFootText(identification);
}

void ShowCharts(const TProfileCharts& charts) {
    charts.ChartOg->show();
    charts.ChartPa->show();
    charts.ChartE->show();
}

} // namespace profile
