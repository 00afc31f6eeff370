// bmp2gif end to end: BMP and PPM files in, GIF files that giflib decodes to the
// same pixels out; bad input gets one line on stderr, status 1 and no file.
#include "GifTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace giftest;
namespace fs = std::filesystem;

namespace {

struct TRun {
    int Status = -1;
    std::string Stderr;
};

class Bmp2Gif : public ::testing::Test {
protected:
    fs::path dir_ = fs::temp_directory_path() /
                    ("bmp2gif-tests-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());

    void SetUp() override { fs::create_directories(dir_); }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Write(const std::string& name, const Bytes& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    TRun Run(const fs::path& in, const fs::path& out) {
        const fs::path err = dir_ / "stderr.txt";
        const std::string command = std::string(BMP2GIF_PATH) + " '" + in.string() + "' '" +
                                    out.string() + "' 2>'" + err.string() + "'";
        TRun run;
        const int status = std::system(command.c_str());
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in2(err);
        run.Stderr.assign(std::istreambuf_iterator<char>(in2), std::istreambuf_iterator<char>());
        fs::remove(err);
        return run;
    }

    static Bytes Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

// 3 x 2 picture, top row red green blue, bottom row white black grey.
const std::vector<std::uint32_t> kPicture = {0xFF0000, 0x00FF00, 0x0000FF,
                                             0xFFFFFF, 0x000000, 0x808080};

Bytes TrueColourRows(int bytesPerPixel, bool topDown) {
    Bytes rows;
    const int stride = (3 * bytesPerPixel + 3) / 4 * 4;
    for (int stored = 0; stored < 2; ++stored) {
        const int y = topDown ? stored : 1 - stored;
        Bytes row;
        for (int x = 0; x < 3; ++x) {
            const std::uint32_t c = kPicture[static_cast<std::size_t>(y * 3 + x)];
            row.push_back(static_cast<std::uint8_t>(c));
            row.push_back(static_cast<std::uint8_t>(c >> 8));
            row.push_back(static_cast<std::uint8_t>(c >> 16));
            if (bytesPerPixel == 4) {
                row.push_back(0xFF);
            }
        }
        row.resize(static_cast<std::size_t>(stride), 0);
        rows.insert(rows.end(), row.begin(), row.end());
    }
    return rows;
}

} // namespace

TEST_F(Bmp2Gif, ConvertsBmpAndPpmFiles) {
    std::vector<std::pair<std::string, Bytes>> inputs;
    TBmpSpec layout;
    layout.Width = 3;
    layout.Height = 2;
    layout.Rows = TrueColourRows(3, false);
    inputs.emplace_back("bottom-up-24.bmp", MakeBmp(layout));
    layout.Bits = 32;
    layout.Height = -2;
    layout.Rows = TrueColourRows(4, true);
    inputs.emplace_back("top-down-32.bmp", MakeBmp(layout));

    // 4 bits, six palette entries in the picture's order: indices 0..5.
    TBmpSpec indexed;
    indexed.Width = 3;
    indexed.Height = 2;
    indexed.Bits = 4;
    indexed.ColorsUsed = 6;
    for (const std::uint32_t c : kPicture) {
        indexed.Palette.push_back({static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                                   static_cast<std::uint8_t>(c >> 16), 0});
    }
    indexed.Rows = {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0};
    inputs.emplace_back("indexed-4.bmp", MakeBmp(indexed));

    std::string ppm = "P6\n# a comment\n3 2\n255\n";
    for (const std::uint32_t c : kPicture) {
        ppm += static_cast<char>(c >> 16);
        ppm += static_cast<char>(c >> 8);
        ppm += static_cast<char>(c);
    }
    inputs.emplace_back("picture.ppm", Bytes(ppm.begin(), ppm.end()));

    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        const fs::path out = dir_ / (name + ".gif");
        const TRun run = Run(Write(name, bytes), out);
        ASSERT_EQ(run.Status, 0) << run.Stderr;
        EXPECT_EQ(run.Stderr, "");
        const TDecoded decoded = DecodeGif(Read(out));
        ASSERT_TRUE(decoded.Ok) << decoded.Error;
        EXPECT_EQ(decoded.Pixels, kPicture);
    }
    // The indexed file keeps its palette: sixteen entries, the picture's six first.
    const Bytes gif = Read(dir_ / "indexed-4.bmp.gif");
    EXPECT_EQ(gif[10], 0xB3);
    const Bytes firstEntries = {0xFF, 0, 0, 0, 0xFF, 0};
    EXPECT_EQ(Bytes(gif.begin() + 13, gif.begin() + 19), firstEntries);
}

TEST_F(Bmp2Gif, BadInputWritesNothing) {
    TBmpSpec layout;
    layout.Width = 3;
    layout.Height = 2;
    layout.Rows = TrueColourRows(3, false);
    Bytes truncated = MakeBmp(layout);
    truncated.resize(truncated.size() - 5);
    TBmpSpec rle = layout;
    rle.Compression = 1;
    TBmpSpec zero = layout;
    zero.Width = 0;
    TBmpSpec huge = layout;
    huge.Width = 100000;
    huge.Height = 100000;
    const std::string ppm16 = "P6 3 2 65535\n" + std::string(36, '\0');
    const std::string ppmShort = "P6 3 2 255\n" + std::string(10, '\0');
    const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"text.bmp", Bytes{'h', 'e', 'l', 'l', 'o'}},
        {"empty.bmp", Bytes{}},
        {"truncated.bmp", truncated},
        {"rle.bmp", MakeBmp(rle)},
        {"zero.bmp", MakeBmp(zero)},
        {"huge.bmp", MakeBmp(huge)},
        {"deep.ppm", Bytes(ppm16.begin(), ppm16.end())},
        {"short.ppm", Bytes(ppmShort.begin(), ppmShort.end())},
    };
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        const fs::path in = Write(name, bytes);
        const fs::path out = dir_ / "out.gif";
        const TRun run = Run(in, out);
        EXPECT_EQ(run.Status, 1);
        EXPECT_FALSE(run.Stderr.empty());
        EXPECT_EQ(std::count(run.Stderr.begin(), run.Stderr.end(), '\n'), 1) << run.Stderr;
        EXPECT_FALSE(fs::exists(out));
        fs::remove(in);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0)
        << "no temporary files";
    EXPECT_EQ(Run(dir_ / "missing.bmp", dir_ / "out.gif").Status, 1);
}
