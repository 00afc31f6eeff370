#include "app/MainForm.h"

#include "platform/TextEncoding.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::Utf8ToCp1251;

const QString kIdentification =
    QStringLiteral("Код: 11111  Имя: Ковылин-Ярский Т.Н.  Дата ПФО: 22.06.2011 10:01:17");

// Everything a user or the Save command can see of the window.
struct WindowState {
    bool interVisible = false;
    std::array<bool, 3> chartsVisible{};
    bool saveEnabled = false;
    QString baseName;
    QStringList interLines;
    profile::TRecordLines workBuffer;
    std::string identification;
    std::vector<std::vector<std::tuple<double, double, QString, chart::TColor>>> series;
    std::vector<QStringList> feet;
    std::vector<QImage> pictures;

    bool operator==(const WindowState&) const = default;
};

std::vector<chart::TChart*> ChartsOf(const app::TForm1& form) {
    const profile::TProfileCharts& c = form.Charts();
    return {c.ChartOg, c.ChartPa, c.ChartE};
}

WindowState StateOf(const app::TForm1& form) {
    WindowState state;
    state.interVisible = form.meInter->isVisibleTo(&form);
    state.saveEnabled = form.mmSave->isEnabled();
    state.baseName = form.OutputBaseName();
    state.interLines = form.InterLines();
    state.workBuffer = *form.WorkBuffer();
    state.identification = form.IdentificationLine();
    const auto charts = ChartsOf(form);
    for (std::size_t i = 0; i < charts.size(); ++i) {
        state.chartsVisible[i] = charts[i]->isVisibleTo(&form);
        state.feet.push_back(charts[i]->Settings().Foot);
        state.pictures.push_back(charts[i]->RenderClient());
        for (int s = 0; s < charts[i]->SeriesCount(); ++s) {
            const chart::TChartSeries* series = charts[i]->SeriesAt(s);
            auto& points = state.series.emplace_back();
            for (int p = 0; p < series->Count(); ++p) {
                points.emplace_back(series->XValue(p), series->YValue(p), series->Label(p),
                                    series->PointColor(p));
            }
        }
    }
    return state;
}

std::vector<double> YValues(const chart::TChartSeries* series) {
    std::vector<double> values;
    for (int i = 0; i < series->Count(); ++i) {
        values.push_back(series->YValue(i));
    }
    return values;
}

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("app_tests_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
        form_.show();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    QString Write(const std::string& name, const std::string& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return QString::fromStdString(path.string());
    }
    QString SampleFile() {
        return Write("11111.Milman.Result", profile::JoinRecordText(profile::SampleRecord()));
    }
    void ExpectSampleShown(const QString& baseName) {
        const profile::TProfileCharts& c = form_.Charts();
        EXPECT_EQ(YValues(c.SeriesOgId), (std::vector<double>{6, 9, 8, 8, 3, 8, 8}));
        EXPECT_EQ(YValues(c.SeriesOgRe), (std::vector<double>{6, 6, 6, 7, 9, 4, 9}));
        EXPECT_EQ(YValues(c.SeriesPaId), (std::vector<double>{8, 6, 8, 6, 3, 11, 4}));
        EXPECT_EQ(YValues(c.SeriesPaRe), (std::vector<double>{7, 3, 12, 7, 10, 6, 8}));
        EXPECT_EQ(YValues(c.SeriesE), (std::vector<double>{10, 4, 8, 8}));
        EXPECT_EQ(c.SeriesOgId->Label(5), QStringLiteral("ДР"));
        for (chart::TChart* chart : ChartsOf(form_)) {
            EXPECT_TRUE(chart->isVisibleTo(&form_));
            EXPECT_EQ(chart->Settings().Foot, QStringList{kIdentification});
        }
        EXPECT_TRUE(form_.meInter->isVisibleTo(&form_));
        EXPECT_TRUE(form_.mmSave->isEnabled());
        const QStringList lines = form_.InterLines();
        ASSERT_EQ(lines.size(), 19);
        EXPECT_EQ(lines[1], kIdentification);
        EXPECT_EQ(lines[5], "");
        EXPECT_EQ(lines[15], "");
        EXPECT_EQ(lines[18], "  10   4   8   8");
        EXPECT_EQ(*form_.WorkBuffer(), profile::SampleRecord());
        EXPECT_EQ(form_.IdentificationLine(), profile::SampleRecord()[1]);
        EXPECT_EQ(form_.OutputBaseName(), baseName);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }

    fs::path folder_;
    app::TForm1 form_;
};

TEST_F(MainFormTest, StartsWithOpenOnlyAndPanelsHidden) {
    EXPECT_EQ(form_.windowTitle(), QStringLiteral("KELTA - Анкета Мильмана"));
    QStringList items;
    for (QAction* action : form_.menuBar()->actions()) {
        items << action->text();
    }
    EXPECT_EQ(items, (QStringList{"Open", "Save", "Sample", QStringLiteral("О программе")}));
    EXPECT_TRUE(form_.mmOpen->isEnabled());
    EXPECT_FALSE(form_.mmSave->isEnabled());
    EXPECT_EQ(form_.mmOpen->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(form_.mmSave->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_FALSE(form_.mmOpen->icon().isNull());
    EXPECT_FALSE(form_.mmSave->icon().isNull());
    EXPECT_FALSE(form_.windowIcon().isNull());
    // A menu item with a glyph makes room for its caption beside it.
    const int captionWidth = form_.menuBar()->fontMetrics().horizontalAdvance("Open");
    EXPECT_GE(form_.menuBar()->actionGeometry(form_.mmOpen).width(), 16 + captionWidth);

    EXPECT_EQ(form_.meInter->geometry(), QRect(512, 400, 512, 321));
    EXPECT_FALSE(form_.meInter->isReadOnly()) << "notes typed into the panel go into the report";
    EXPECT_EQ(form_.meInter->font().family(), "Courier New");
    EXPECT_EQ(form_.meInter->font().pixelSize(), 16);
    const std::vector<QRect> places = {{0, 0, 512, 400}, {512, 0, 512, 400}, {0, 400, 512, 321}};
    const auto charts = ChartsOf(form_);
    for (std::size_t i = 0; i < charts.size(); ++i) {
        EXPECT_EQ(charts[i]->geometry(), places[i]);
        EXPECT_FALSE(charts[i]->isVisibleTo(&form_));
    }
    EXPECT_FALSE(form_.meInter->isVisibleTo(&form_));
    ASSERT_NE(form_.WorkBuffer(), nullptr);
    EXPECT_TRUE(form_.WorkBuffer()->empty());
    EXPECT_TRUE(form_.OutputBaseName().isEmpty());
    EXPECT_TRUE(form_.ProgramFolder().endsWith('/'));
    EXPECT_EQ(form_.ResultsFolder(), form_.ProgramFolder() + "Results/");
}

TEST_F(MainFormTest, PanelsKeepTheirPlacesWhenTheWindowResizes) {
    form_.OpenSample();
    form_.resize(600, 500);
    QApplication::processEvents();
    EXPECT_EQ(form_.meInter->geometry(), QRect(512, 400, 512, 321));
    EXPECT_EQ(form_.Charts().ChartE->geometry(), QRect(0, 400, 512, 321));
}

TEST_F(MainFormTest, OpenShowsTheRecordOfTheChosenFile) {
    form_.OpenRecordFile(SampleFile());
    ExpectSampleShown("11111.Milman");

    // The same record under another name: only the base name follows the file.
    form_.OpenRecordFile(
        Write("Respondent 7.Result", profile::JoinRecordText(profile::SampleRecord())));
    ExpectSampleShown("Respondent 7");
}

TEST_F(MainFormTest, ASecondOpenGivesTheSameWindow) {
    const QString path = SampleFile();
    form_.OpenRecordFile(path);
    const WindowState once = StateOf(form_);
    form_.OpenRecordFile(path);
    EXPECT_EQ(StateOf(form_), once);
    // The embedded sample goes the same way and gives the same window.
    form_.OpenSample();
    EXPECT_EQ(StateOf(form_), once);
}

TEST_F(MainFormTest, AFailedOpenLeavesTheWindowAsItWas) {
    std::string badField = profile::JoinRecordText(profile::SampleRecord());
    badField.replace(badField.find(Utf8ToCp1251(" Д     3")), 8, Utf8ToCp1251(" Д     ?"));
    std::string binary = profile::JoinRecordText(profile::SampleRecord());
    binary[3] = '\0';
    // A different, valid record: if a failure leaked into the window it would show.
    profile::TRecordLines other = profile::SampleRecord();
    other[8] = Utf8ToCp1251(" П     1     2     3     4");
    const QString otherFile = Write("other.Result", profile::JoinRecordText(other));
    const QString bad[] = {
        Write("field.Result", badField),
        Write("binary.Result", binary),
        Write("short.Result", "one line\r\n"),
        QString::fromStdString((folder_ / "missing.Result").string()),
    };

    for (bool filled : {false, true}) {
        SCOPED_TRACE(filled ? "after an Open" : "at start");
        if (filled) {
            form_.OpenRecordFile(otherFile);
        }
        const WindowState before = StateOf(form_);
        for (const QString& path : bad) {
            SCOPED_TRACE(path.toStdString());
            EXPECT_THROW(form_.OpenRecordFile(path), platform::Exception);
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
            EXPECT_EQ(StateOf(form_), before);
        }
    }
    EXPECT_EQ(YValues(form_.Charts().SeriesOgId), (std::vector<double>{1, 9, 8, 8, 3, 8, 8}));
}

TEST_F(MainFormTest, OpenDialogOffersTheDataFolderAndCancelChangesNothing) {
    struct Seen {
        QString title;
        QStringList filters;
        QString folder;
    } seen;
    // The dialog starts in the Data folder of the program folder when there is one.
    const QDir data(form_.ProgramFolder() + "Data");
    const bool made = !data.exists() && QDir().mkpath(data.path());
    const WindowState before = StateOf(form_);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = {dialog->windowTitle(), dialog->nameFilters(), dialog->directory().absolutePath()};
        dialog->reject();
    });
    form_.mmOpen->trigger();
    if (made) {
        QDir().rmdir(data.path());
    }
    EXPECT_EQ(seen.title, QStringLiteral("Открыть данные из файла *.Result"));
    EXPECT_EQ(seen.filters, QStringList{"Data filles (*.Result)"});
    EXPECT_EQ(seen.folder + "/", form_.ProgramFolder() + "Data/");
    EXPECT_EQ(StateOf(form_), before);
}

TEST_F(MainFormTest, OpenDialogLoadsTheChosenFile) {
    const QString path = SampleFile();
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept(); // as the Open button does
    });
    form_.mmOpen->trigger();
    ExpectSampleShown("11111.Milman");
}

TEST_F(MainFormTest, SampleItemLoadsTheEmbeddedRecord) {
    form_.mmSample->trigger();
    ExpectSampleShown("11111.Milman");
}

TEST_F(MainFormTest, ADroppedResultFileOpens) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(SampleFile())});
    EXPECT_TRUE(form_.OpenDropped(data));
    ExpectSampleShown("11111.Milman");
}

TEST(DroppedRecordFile, PicksTheFirstLocalResultFile) {
    const QList<QUrl> urls = {QUrl("http://example.org/a.Result"), QUrl::fromLocalFile("/t/a.txt"),
                              QUrl::fromLocalFile("/t/b.Result"),
                              QUrl::fromLocalFile("/t/c.Result")};
    EXPECT_EQ(app::DroppedRecordFile(urls), "/t/b.Result");
    EXPECT_EQ(app::DroppedRecordFile({QUrl::fromLocalFile("/t/a.txt")}), "");
}

TEST_F(MainFormTest, ClosingReleasesTheWorkBufferAndEndsTheProgram) {
    int closed = 0;
    QObject::connect(&form_, &app::TForm1::Closed, [&] { ++closed; });
    form_.close();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(form_.WorkBuffer(), nullptr);
}

} // namespace
