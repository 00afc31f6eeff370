// The three profile charts of the main window: the general-life and work/study profiles as pairs of
// line series (ideal and real) over the seven scales, and the emotional scores as bars.
#pragma once

#include "chart/Chart.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

namespace profile {

struct TProfileCharts {
    chart::TChart* ChartOg = nullptr;
    chart::TChart* ChartPa = nullptr;
    chart::TChart* ChartE = nullptr;
    chart::TChartSeries* SeriesOgId = nullptr;
    chart::TChartSeries* SeriesOgRe = nullptr;
    chart::TChartSeries* SeriesPaId = nullptr;
    chart::TChartSeries* SeriesPaRe = nullptr;
    chart::TChartSeries* SeriesE = nullptr;
};

// Colours of the ideal and the real scores.
constexpr chart::TColor IdealColor = chart::clRed;
constexpr chart::TColor RealColor = chart::clBlue;

// Creates the three charts as children of parent (which owns them) at their fixed places, fully
// configured and hidden.
TProfileCharts CreateProfileCharts(QWidget* parent);

// Empties the five series, then adds the points of a 32-element motivational profile and sets the
// identification line as the foot of each chart, chart by chart. Visibility is left as it is.
void PlotProfile(const TProfileCharts& charts, const std::array<std::int32_t, 32>& profile,
                 const QString& identification);

// Makes ChartOg, ChartPa and ChartE visible, in this order.
void ShowCharts(const TProfileCharts& charts);

} // namespace profile
