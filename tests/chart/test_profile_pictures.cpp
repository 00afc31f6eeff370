// The three profile charts after plotting the sample respondent's profile: checks on the pixels
// of the rendered client areas.
#include "profile/Charts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <array>
#include <functional>

namespace {

using chart::TChart;
using chart::TColor;

// General life ideal and real, work/study ideal and real, emotional scores.
const std::array<std::int32_t, 32> SampleProfile = {6,  9, 8,  8, 3,  8,  8, // general life, ideal
                                                    6,  6, 6,  7, 9,  4,  9, // general life, real
                                                    8,  6, 8,  6, 3,  11, 4, // work/study, ideal
                                                    7,  3, 12, 7, 10, 6,  8, // work/study, real
                                                    10, 4, 8,  8};           // emotional
const QString SampleIdentification =
    QStringLiteral("Код: 11111  Имя: Ковылин-Ярский Т.Н.  Дата ПФО: 22.06.2011 10:01:17");

const QRgb White = qRgb(255, 255, 255);
const QRgb Black = qRgb(0, 0, 0);
const QRgb Red = qRgb(255, 0, 0);
const QRgb Blue = qRgb(0, 0, 255);
const QRgb Gray = qRgb(128, 128, 128);

QRgb Pixel(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

int CountPixels(const QImage& image, const QRect& area, QRgb colour) {
    int count = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            count += Pixel(image, x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

class ProfilePictures : public testing::Test {
protected:
    void SetUp() override {
        Window.resize(1024, 721);
        Charts = profile::CreateProfileCharts(&Window);
    }

    void PlotAndShow() {
        profile::PlotProfile(Charts, SampleProfile, SampleIdentification);
        profile::ShowCharts(Charts);
        Window.show();
        // A developer can look at the pictures by naming a folder for them.
        const QString folder = qEnvironmentVariable("MILMAN_CHART_PNG_DIR");
        if (!folder.isEmpty()) {
            Charts.ChartOg->RenderClient().save(QDir(folder).filePath("ChartOg.png"));
            Charts.ChartPa->RenderClient().save(QDir(folder).filePath("ChartPa.png"));
            Charts.ChartE->RenderClient().save(QDir(folder).filePath("ChartE.png"));
        }
    }

    std::array<TChart*, 3> All() const { return {Charts.ChartOg, Charts.ChartPa, Charts.ChartE}; }

    QWidget Window;
    profile::TProfileCharts Charts;
};

TEST_F(ProfilePictures, ChartsSitAtTheirPlacesHiddenUntilShown) {
    const std::array<QRect, 3> places = {QRect(0, 0, 512, 400), QRect(512, 0, 512, 400),
                                         QRect(0, 400, 512, 321)};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(All()[i]->geometry(), places[i]);
        EXPECT_TRUE(All()[i]->isHidden());
    }
    Window.resize(700, 500); // the charts do not follow the window
    EXPECT_EQ(Charts.ChartPa->geometry(), places[1]);

    profile::PlotProfile(Charts, SampleProfile, SampleIdentification);
    for (TChart* c : All()) {
        EXPECT_TRUE(c->isHidden()) << "plotting alone does not show a chart";
    }
    profile::ShowCharts(Charts);
    for (TChart* c : All()) {
        EXPECT_FALSE(c->isHidden());
    }
}

TEST_F(ProfilePictures, ClientAreasAndFrame) {
    PlotAndShow();
    EXPECT_EQ(Charts.ChartOg->ClientWidth(), 508);
    EXPECT_EQ(Charts.ChartOg->ClientHeight(), 396);
    EXPECT_EQ(Charts.ChartE->ClientWidth(), 508);
    EXPECT_EQ(Charts.ChartE->ClientHeight(), 317);
    for (TChart* c : All()) {
        const QImage image = c->RenderClient();
        EXPECT_EQ(image.size(), QSize(c->ClientWidth(), c->ClientHeight()));
        EXPECT_EQ(image.format(), QImage::Format_RGB32);
        EXPECT_EQ(c->ScreenClientOrigin(), c->mapToGlobal(QPoint(2, 2)));
        // The inner bevel is raised on every chart: highlight at the top left, shadow at the
        // bottom right; the background is white.
        const int r = image.width() - 1;
        const int b = image.height() - 1;
        EXPECT_EQ(Pixel(image, 1, 1), White);
        EXPECT_EQ(Pixel(image, r - 1, b - 1), Gray);
        EXPECT_EQ(Pixel(image, r / 2, b - 1), Gray);
        const chart::TChartLayout layout = c->Layout();
        EXPECT_EQ(Pixel(image, layout.Plot.left() + 3, layout.Plot.top() + 3), White);
        EXPECT_EQ(Pixel(image, 5, 5), White);
    }
    // The outer bevel: raised on ChartOg, all highlight on the others.
    const QImage og = Charts.ChartOg->RenderClient();
    EXPECT_EQ(Pixel(og, 507, 395), Gray);
    EXPECT_EQ(Pixel(og, 0, 0), White);
    const QImage pa = Charts.ChartPa->RenderClient();
    EXPECT_EQ(Pixel(pa, 507, 395), White);
    EXPECT_EQ(Pixel(pa, 507, 100), White);
}

TEST_F(ProfilePictures, AxesShowTheScalesAndTheScores) {
    PlotAndShow();
    QStringList scores;
    for (int i = 0; i <= 13; ++i) {
        scores.append(QString::number(i));
    }
    const QStringList scales = {" П", " К", " С", " О", " Д", "ДР", "ОД"};
    const QStringList emotions = {"Э-А", "Э-C", "Ф-А", "Ф-C"};
    EXPECT_EQ(Charts.ChartOg->BottomAxisLabelTexts(), scales);
    EXPECT_EQ(Charts.ChartPa->BottomAxisLabelTexts(), scales);
    EXPECT_EQ(Charts.ChartE->BottomAxisLabelTexts(), emotions);
    for (TChart* c : All()) {
        EXPECT_EQ(c->LeftAxisLabelTexts(), scores);
        const QImage image = c->RenderClient();
        const chart::TChartLayout layout = c->Layout();
        // The 2-pixel axis lines, the grid dots and a tick at every score.
        EXPECT_EQ(Pixel(image, layout.Plot.left() - 1, layout.YPos(6.5)), Black);
        EXPECT_EQ(Pixel(image, layout.Plot.left(), layout.YPos(6.5)), Black);
        EXPECT_EQ(Pixel(image, layout.XPos(0.5), layout.Plot.bottom() + 1), Black);
        for (int score = 1; score < 13; ++score) {
            const int y = layout.YPos(score);
            // Left of the first point nothing covers the grid: every other pixel is a dot.
            const int length = layout.XPos(0.6) - layout.Plot.left() - 1;
            const QRect gridRow(layout.Plot.left() + 1, y, length, 1);
            EXPECT_GE(CountPixels(image, gridRow, Gray), length / 2) << score;
            EXPECT_GE(CountPixels(image, gridRow, White), length / 2) << score;
            EXPECT_EQ(Pixel(image, layout.Plot.left() - 4, y), Gray) << score;
        }
        // No numbers along the bottom: below the axis between the labels stays white.
        const QRect betweenLabels(layout.XPos(0.1), layout.Plot.bottom() + 7, 3, 12);
        EXPECT_EQ(CountPixels(image, betweenLabels, Black), 0);
    }
}

TEST_F(ProfilePictures, EmotionalBarsRiseFromZeroInAlternatingColours) {
    PlotAndShow();
    const QImage image = Charts.ChartE->RenderClient();
    const chart::TChartLayout layout = Charts.ChartE->Layout();
    const int width = Charts.ChartE->BarWidth(*Charts.SeriesE);
    EXPECT_EQ(width % 2, 0);
    // 70 % of the distance between neighbouring bars, within the rounding to even.
    const double spacing = layout.XPos(2) - layout.XPos(1);
    EXPECT_NEAR(width, 0.7 * spacing, 2.0);

    const std::array<int, 4> scores = {10, 4, 8, 8};
    const std::array<QRgb, 4> colours = {Blue, Red, Blue, Red};
    const int zero = layout.YPos(0);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const int x = layout.XPos(i + 1);
        const int top = layout.YPos(scores[i]);
        // Outline rows at the score and at zero, fill in between.
        EXPECT_EQ(Pixel(image, x, top), Black);
        EXPECT_NE(Pixel(image, x, top - 1), Black);
        EXPECT_NE(Pixel(image, x, top - 1), colours[i]);
        EXPECT_EQ(Pixel(image, x, top + 1), colours[i]);
        EXPECT_EQ(Pixel(image, x, zero - 1), colours[i]);
        EXPECT_EQ(Pixel(image, x, zero), Black);
        // Across the middle of the bar: outline, fill, outline, and the measured width.
        const int y = (top + zero) / 2;
        int left = x;
        while (Pixel(image, left - 1, y) != White && Pixel(image, left - 1, y) != Gray) {
            --left;
        }
        int right = x;
        while (Pixel(image, right + 1, y) != White && Pixel(image, right + 1, y) != Gray) {
            ++right;
        }
        EXPECT_EQ(right - left + 1, width);
        EXPECT_EQ(Pixel(image, left, y), Black);
        EXPECT_EQ(Pixel(image, right, y), Black);
        EXPECT_EQ(CountPixels(image, QRect(left + 1, y, width - 2, 1), colours[i]), width - 2);
        EXPECT_LE(std::abs((left + right) / 2 - x), 1);
    }
}

TEST_F(ProfilePictures, EqualScoresShowTheBlueSquareOverTheRedTriangle) {
    PlotAndShow();
    const QImage image = Charts.ChartOg->RenderClient();
    const chart::TChartLayout layout = Charts.ChartOg->Layout();
    // Scale 1: ideal 6, real 6.
    const int cx = layout.XPos(1);
    const int cy = layout.YPos(6);
    const QRect square(cx - 3, cy - 3, 7, 7);
    EXPECT_EQ(CountPixels(image, square, Red), 0);
    EXPECT_EQ(CountPixels(image, square.adjusted(1, 1, -1, -1), Blue), 25);
    EXPECT_EQ(CountPixels(image, square, Black), 49 - 25);
    // Scale 2: ideal 9 stands alone as a red triangle, real 6 as a blue square.
    EXPECT_EQ(Pixel(image, layout.XPos(2), layout.YPos(9)), Red);
    EXPECT_EQ(Pixel(image, layout.XPos(2), layout.YPos(9) + 3), Black);     // the triangle's base
    EXPECT_EQ(Pixel(image, layout.XPos(2) - 3, layout.YPos(9) - 3), White); // not a square
    EXPECT_EQ(Pixel(image, layout.XPos(2), layout.YPos(6)), Blue);
    // Each segment takes the colour of the point it ends at: halfway between scales 1 and 2.
    const int midX = (layout.XPos(1) + layout.XPos(2)) / 2;
    const QRect column(midX, layout.Plot.top(), 1, layout.Plot.height());
    EXPECT_GT(CountPixels(image, column, Red), 0);
    EXPECT_GT(CountPixels(image, column, Blue), 0);
}

TEST_F(ProfilePictures, LegendOnlyOnTheProfileChartsAndFootEverywhere) {
    PlotAndShow();
    for (TChart* c : All()) {
        SCOPED_TRACE(c == Charts.ChartE ? "ChartE" : "profile chart");
        const QImage image = c->RenderClient();
        const chart::TChartLayout layout = c->Layout();
        // Between the bottom axis labels and the foot line: the legend's symbols, if any.
        const int labelsBottom = layout.Plot.bottom() + 22;
        const QRect band(0, labelsBottom, image.width(), layout.FootTop - labelsBottom);
        const bool legend = c != Charts.ChartE;
        EXPECT_EQ(CountPixels(image, band, Red) > 0, legend);
        EXPECT_EQ(CountPixels(image, band, Blue) > 0, legend);
        EXPECT_EQ(CountPixels(image, band, Black) > 40, legend); // frame, shadow and text
        // Blue text in the foot and in the title; the foot is one line of 13-pixel text.
        const QRect foot(0, layout.FootTop, image.width(), 16);
        EXPECT_GT(CountPixels(image, foot, Blue), 200);
        EXPECT_EQ(CountPixels(image, QRect(0, layout.FootTop + 16, image.width(), 40), Blue), 0);
        EXPECT_GT(CountPixels(image, QRect(0, 0, image.width(), 20), Blue), 100);
    }
}

TEST_F(ProfilePictures, ScreenShowsExactlyTheRenderedClientArea) {
    PlotAndShow();
    for (TChart* c : All()) {
        const QImage screen = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(screen.size(), c->size());
        const QImage client = screen.copy(TChart::BorderWidth, TChart::BorderWidth,
                                          c->ClientWidth(), c->ClientHeight());
        EXPECT_TRUE(client == c->RenderClient());
        // The sunken border: dark at the top left, light at the bottom right.
        EXPECT_EQ(Pixel(screen, 0, 0), Gray);
        EXPECT_EQ(Pixel(screen, c->width() - 1, c->height() - 1), White);
    }
}

TEST_F(ProfilePictures, PlottingAgainReplacesThePoints) {
    profile::PlotProfile(Charts, SampleProfile, QStringLiteral("first"));
    const QImage once = Charts.ChartPa->RenderClient();
    profile::PlotProfile(Charts, SampleProfile, SampleIdentification);
    profile::PlotProfile(Charts, SampleProfile, SampleIdentification);
    EXPECT_EQ(Charts.SeriesOgId->Count(), 7);
    EXPECT_EQ(Charts.SeriesPaRe->Count(), 7);
    EXPECT_EQ(Charts.SeriesE->Count(), 4);
    EXPECT_EQ(Charts.ChartE->Settings().Foot, QStringList{SampleIdentification});
    EXPECT_EQ(Charts.SeriesPaRe->YValue(2), 12.0);
    EXPECT_EQ(Charts.SeriesE->Label(1), QStringLiteral("Э-C"));
    EXPECT_EQ(Charts.SeriesE->PointColor(0), chart::clBlue);
    EXPECT_FALSE(once == Charts.ChartPa->RenderClient()) << "the foot line changed";
}

} // namespace
