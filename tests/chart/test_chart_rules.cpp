// Rules of the chart that do not depend on how it is drawn: where AddPoint puts a point, which
// axis labels crowd each other out, and how axis numbers are written.
#include "chart/Chart.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <ostream>
#include <vector>

namespace {

using chart::TChart;
using chart::TChartSeries;

struct OrderCase {
    const char* Name;
    std::vector<double> Xs;            // added in this order; point i is labelled "p<i>"
    std::vector<std::int32_t> Indices; // what each AddPoint returns
    QStringList Order;                 // labels in series order afterwards
};

void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.Name;
}

class PointOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(PointOrder, InsertsAfterTheLastPointNotGreater) {
    const OrderCase& c = GetParam();
    TChart owner;
    TChartSeries* series = owner.AddLineSeries(chart::TSeriesSettings{});
    std::vector<std::int32_t> indices;
    for (std::size_t i = 0; i < c.Xs.size(); ++i) {
        // Y, label and colour are derived from i so that they can be checked to travel together.
        indices.push_back(series->AddPoint(c.Xs[i], 100.0 + static_cast<double>(i),
                                           QStringLiteral("p%1").arg(i),
                                           static_cast<chart::TColor>(i)));
    }
    EXPECT_EQ(indices, c.Indices);
    QStringList order;
    for (int i = 0; i < series->Count(); ++i) {
        order.append(series->Label(i));
        const int added = series->Label(i).mid(1).toInt();
        EXPECT_EQ(series->XValue(i), c.Xs[static_cast<std::size_t>(added)]);
        EXPECT_EQ(series->YValue(i), 100.0 + added);
        EXPECT_EQ(series->PointColor(i), static_cast<chart::TColor>(added));
        if (i > 0) {
            EXPECT_LE(series->XValue(i - 1), series->XValue(i));
        }
    }
    EXPECT_EQ(order, c.Order);

    series->ClearPoints();
    EXPECT_EQ(series->Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PointOrder,
    testing::Values(
        OrderCase{"Ascending", {1, 2, 3}, {0, 1, 2}, {"p0", "p1", "p2"}},
        OrderCase{"EqualLastAppends", {1, 2, 2}, {0, 1, 2}, {"p0", "p1", "p2"}},
        OrderCase{"IntoTheMiddle", {1, 3, 2}, {0, 1, 1}, {"p0", "p2", "p1"}},
        OrderCase{"AllGreaterGoesToFront", {3, 2, 1}, {0, 0, 0}, {"p2", "p1", "p0"}},
        OrderCase{"EqualInTheMiddleGoesAfter", {1, 3, 1}, {0, 1, 1}, {"p0", "p2", "p1"}},
        OrderCase{"AfterARunOfEquals",
                  {2, 2, 1, 2, 1.5},
                  {0, 1, 0, 3, 1},
                  {"p2", "p4", "p0", "p1", "p3"}},
        OrderCase{
            "NegativeAndFractional", {0.5, -1, 0.5, -1}, {0, 0, 2, 1}, {"p1", "p3", "p0", "p2"}}),
    [](const testing::TestParamInfo<OrderCase>& info) { return info.param.Name; });

struct CrowdCase {
    const char* Name;
    std::vector<chart::TLabelExtent> Labels;
    std::vector<bool> Drawn;
};

void PrintTo(const CrowdCase& c, std::ostream* os) {
    *os << c.Name;
}

class LabelCrowding : public testing::TestWithParam<CrowdCase> {};

TEST_P(LabelCrowding, SkipsALabelOverlappingTheOneDrawnBefore) {
    EXPECT_EQ(chart::SelectUncrowdedLabels(GetParam().Labels), GetParam().Drawn);
}

// A label of width 10 claims 6 pixels on either side of its centre.
INSTANTIATE_TEST_SUITE_P(
    Table, LabelCrowding,
    testing::Values(
        CrowdCase{"Empty", {}, {}},
        CrowdCase{"FarApart", {{10, 10}, {40, 10}, {70, 10}}, {true, true, true}},
        CrowdCase{"ClaimsJustTouch", {{0, 10}, {12, 10}}, {true, true}},
        CrowdCase{"ClaimsOverlapByAFraction", {{0, 10}, {11.9, 10}}, {true, false}},
        // The text spans (-10..10 and 13..33) are apart, but the 10 % claims meet.
        CrowdCase{"TheTenPercentClaimCounts", {{0, 20}, {23, 20}}, {true, false}},
        CrowdCase{"SameCentre", {{5, 8}, {5, 8}}, {true, false}},
        // The skipped label does not block the next one: only the last drawn label counts.
        CrowdCase{"ComparedWithTheLastDrawn", {{0, 10}, {10, 10}, {12, 10}}, {true, false, true}},
        CrowdCase{"WideAfterNarrow", {{0, 2}, {17, 30}}, {true, false}}),
    [](const testing::TestParamInfo<CrowdCase>& info) { return info.param.Name; });

TEST(AxisNumberFormat, FollowsTheGroupedThreeDecimalPattern) {
    const struct {
        double Value;
        const char* Text;
    } cases[] = {
        {0, "0"},
        {13, "13"},
        {-0.0, "0"},
        {1.5, "1.5"},
        {0.125, "0.125"},
        {0.1234, "0.123"},
        {0.0005, "0.001"},
        {0.0004, "0"},
        {999.9999, "1,000"},
        {1234, "1,234"},
        {1234567.25, "1,234,567.25"},
        {-1234.5, "-1,234.5"},
        {-0.0001, "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chart::FormatAxisNumber(c.Value), QString::fromUtf8(c.Text)) << c.Value;
    }
}

// A chart shaped like the profile charts: 0..8 along the bottom without end labels.
std::unique_ptr<TChart> ProfileLikeChart() {
    auto c = std::make_unique<TChart>();
    c->resize(512, 400);
    chart::TChartSettings s;
    s.BottomAxis.Maximum = 8;
    s.BottomAxis.Increment = 1;
    s.BottomAxis.LabelsOnAxis = false;
    s.LeftAxis.Maximum = 13;
    c->SetSettings(s);
    return c;
}

TEST(BottomAxisLabels, ShowPointLabelsOnlyWhenTheFirstPointHasOne) {
    const struct {
        const char* Name;
        std::vector<std::pair<double, const char*>> Points;
        QStringList Expected;
    } cases[] = {
        {"Labelled", {{1, "A"}, {2, "B"}, {3, "C"}}, {"A", "B", "C"}},
        // An empty label counts as no label, but does not switch a labelled axis to numbers.
        {"LaterEmptyLabel", {{1, "A"}, {2, ""}, {3, "C"}}, {"A", "C"}},
        // Two points at one X: the second label would crowd the first and is skipped.
        {"EqualX", {{1, "A"}, {2, "B"}, {2, "C"}, {3, "D"}}, {"A", "B", "D"}},
        {"OutsideTheAxis", {{-1, "A"}, {2, "B"}, {9, "C"}}, {"B"}},
        {"FirstUnlabelled", {{1, ""}, {2, "B"}}, {"1", "2", "3", "4", "5", "6", "7"}},
        {"NoPoints", {}, {"1", "2", "3", "4", "5", "6", "7"}},
    };
    for (const auto& c : cases) {
        auto chart = ProfileLikeChart();
        TChartSeries* series = chart->AddLineSeries(chart::TSeriesSettings{});
        for (const auto& [x, label] : c.Points) {
            series->AddPoint(x, 5, QString::fromUtf8(label), chart::clRed);
        }
        EXPECT_EQ(chart->BottomAxisLabelTexts(), c.Expected) << c.Name;
    }
}

TEST(BottomAxisLabels, AnInvisibleSeriesLendsNoLabels) {
    auto c = ProfileLikeChart();
    chart::TSeriesSettings hidden;
    hidden.Visible = false;
    c->AddLineSeries(hidden)->AddPoint(1, 1, QStringLiteral("H"), chart::clRed);
    TChartSeries* shown = c->AddLineSeries(chart::TSeriesSettings{});
    shown->AddPoint(2, 1, QStringLiteral("S"), chart::clBlue);
    EXPECT_EQ(c->BottomAxisLabelTexts(), QStringList{QStringLiteral("S")});
}

TEST(LeftAxisLabels, StepGrowsOnlyWhenLabelsDoNotFit) {
    const struct {
        int Height;
        QStringList Expected;
    } cases[] = {
        {400, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"}},
        {180, {"0", "2", "4", "6", "8", "10", "12"}},
        {110, {"0", "5", "10"}},
    };
    for (const auto& c : cases) {
        auto chart = ProfileLikeChart();
        chart->resize(512, c.Height);
        EXPECT_EQ(chart->LeftAxisLabelTexts(), c.Expected) << c.Height;
    }
}

TEST(BarWidth, IsSeventyPercentOfTheSlotMadeEven) {
    auto c = ProfileLikeChart();
    TChartSeries* bars = c->AddBarSeries(chart::TSeriesSettings{});
    const chart::TChartLayout layout = c->Layout();
    const int axisLength = layout.Plot.right() - layout.Plot.left();
    for (int n : {1, 4, 8, 15}) {
        bars->ClearPoints();
        for (int i = 1; i <= n; ++i) {
            bars->AddPoint(i * 0.5, 3, QString(), chart::clRed);
        }
        const int width = c->BarWidth(*bars);
        const double exact = 0.7 * axisLength / (n + 1);
        EXPECT_EQ(width % 2, 0) << n;
        EXPECT_LE(width, exact) << n;
        EXPECT_GT(width, exact - 2) << n;
    }
}

} // namespace
