// Save on the sample profile: the report text bytes, the GIF files decoded by
// giflib against the charts' rendered client areas, and the failure paths.
#include "chart/Chart.h"
#include "platform/Exceptions.h"
#include "platform/TextEncoding.h"
#include "profile/Charts.h"
#include "profile/Record.h"
#include "report/Save.h"
#include "tests/gif/GifDecode.h"

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The GIF file at path decoded by giflib, as an RGB32 image; null on failure.
QImage DecodeGif(const std::string& path) {
    const std::string bytes = ReadAll(path);
    const giftest::TDecoded decoded =
        giftest::DecodeGif(giftest::Bytes(bytes.begin(), bytes.end()));
    if (!decoded.Ok || decoded.ImageCount != 1) {
        return {};
    }
    QImage image(decoded.Width, decoded.Height, QImage::Format_RGB32);
    for (int y = 0; y < decoded.Height; ++y) {
        for (int x = 0; x < decoded.Width; ++x) {
            image.setPixel(x, y,
                           0xFF000000u |
                               decoded.Pixels[static_cast<std::size_t>(y) * decoded.Width + x]);
        }
    }
    return image;
}

class SaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("milman-save-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / "Results");
        charts = profile::CreateProfileCharts(&window);
        const profile::TLoadedRecord record = profile::LoadSampleRecord();
        profile::PlotProfile(charts, record.Profile,
                             QString::fromStdString(platform::Cp1251ToUtf8(record.Lines[1])));
        profile::ShowCharts(charts);
        for (const std::string& line : record.Lines) {
            lines << QString::fromStdString(platform::Cp1251ToUtf8(line));
        }
        expectedText.clear();
        for (const std::string& line : record.Lines) {
            expectedText += line + "\r\n";
        }
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string Results() const { return (folder / "Results").string() + "/"; }
    void Save() { report::SaveReport(Results(), "11111.Milman", lines, charts); }

    fs::path folder;
    QWidget window;
    profile::TProfileCharts charts;
    QStringList lines;
    std::string expectedText;
};

} // namespace

TEST_F(SaveTest, WritesTheTextAndWhatTheChartsShow) {
    Save();
    const report::TReportPaths paths = report::ReportPaths(Results(), "11111.Milman");
    EXPECT_EQ(ReadAll(paths.Text), expectedText);

    const std::pair<const chart::TChart*, std::string> gifs[] = {{charts.ChartOg, paths.General},
                                                                 {charts.ChartPa, paths.Work},
                                                                 {charts.ChartE, paths.Emotions}};
    for (const auto& [chart, path] : gifs) {
        SCOPED_TRACE(path);
        const std::string bytes = ReadAll(path);
        ASSERT_GT(bytes.size(), 794u);
        EXPECT_EQ(bytes.substr(0, 6), "GIF87a");
        EXPECT_EQ(static_cast<unsigned char>(bytes[10]), 0xF7);
        EXPECT_EQ(static_cast<unsigned char>(bytes[781]), 0x2C) << "a 768-byte global table";
        EXPECT_EQ(bytes.back(), '\x3B');
        const QImage shown = chart->RenderClient().convertToFormat(QImage::Format_RGB32);
        const QImage saved = DecodeGif(path);
        EXPECT_EQ(saved.size(), QSize(chart->ClientWidth(), chart->ClientHeight()));
        EXPECT_TRUE(saved == shown) << "the GIF differs from the chart's client area";
    }
    EXPECT_EQ(DecodeGif(paths.General).size(), QSize(508, 396));
    EXPECT_EQ(DecodeGif(paths.Emotions).size(), QSize(508, 317));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Results"), fs::directory_iterator()),
              4)
        << "only the four report files, no temporary files";
}

TEST_F(SaveTest, SavingTwiceGivesIdenticalFiles) {
    Save();
    const report::TReportPaths paths = report::ReportPaths(Results(), "11111.Milman");
    const std::string first[] = {ReadAll(paths.Text), ReadAll(paths.General), ReadAll(paths.Work),
                                 ReadAll(paths.Emotions)};
    Save();
    const std::string second[] = {ReadAll(paths.Text), ReadAll(paths.General), ReadAll(paths.Work),
                                  ReadAll(paths.Emotions)};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(first[i], second[i]) << "file " << i;
    }
}

TEST_F(SaveTest, UnwritableResultsFolderFailsWithThePathAndKeepsEarlierFiles) {
    const fs::path results = folder / "Results";
    const report::TReportPaths paths = report::ReportPaths(Results(), "11111.Milman");
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::function<void()> restore;
    };
    const Case cases[] = {
        {"missing", [&] { fs::remove_all(results); }, [&] { fs::create_directory(results); }},
        {"a file in its place",
         [&] {
             fs::remove_all(results);
             std::ofstream(results) << "x";
         },
         [&] {
             fs::remove(results);
             fs::create_directory(results);
         }},
        {"read-only",
         [&] { fs::permissions(results, fs::perms::owner_read | fs::perms::owner_exec); },
         [&] { fs::permissions(results, fs::perms::owner_all); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Save();
        const std::string earlierText = ReadAll(paths.Text);
        c.arrange();
        if (std::string(c.name) == "read-only" && ::geteuid() == 0) {
            c.restore();
            continue; // permissions do not stop root
        }
        try {
            Save();
            ADD_FAILURE() << "no exception";
        } catch (const platform::EFCreateError& e) {
            EXPECT_EQ(e.Message(), "Cannot create file " + paths.Text);
        }
        c.restore();
        if (fs::exists(paths.Text)) {
            EXPECT_EQ(ReadAll(paths.Text), earlierText) << "an earlier report was changed";
        }
    }
}

TEST_F(SaveTest, FailureStopsTheCommandAndKeepsEarlierFiles) {
    Save();
    const report::TReportPaths paths = report::ReportPaths(Results(), "11111.Milman");
    const std::string earlierWork = ReadAll(paths.Work);
    // A folder standing where the general-life picture goes cannot be replaced.
    fs::remove(paths.General);
    fs::create_directory(paths.General);
    lines[0] = QStringLiteral("changed");
    try {
        Save();
        FAIL() << "no exception";
    } catch (const platform::EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + paths.General);
    }
    EXPECT_EQ(ReadAll(paths.Text).substr(0, 9), "changed\r\n") << "written before the failure";
    EXPECT_EQ(ReadAll(paths.Work), earlierWork) << "nothing after the failure is written";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Results"), fs::directory_iterator()),
              4);
}

int main(int argc, char** argv) {
    // Test discovery runs this program too, without the test's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
