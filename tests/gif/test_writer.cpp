// The GIF file the writer produces: the one-frame layout, the optional blocks
// and the version they imply, the size prefix, and the failures that leave the
// destination untouched.
#include "GifTestSupport.h"

#include "gif/GifMessages.h"
#include "platform/Exceptions.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

using namespace giftest;
using gif::TGIFImage;
using platform::TBitmap;
using platform::TColor;

namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;

// Three pixels, red, red, blue: the popularity palette puts red at 0, blue at 1.
std::unique_ptr<TBitmap> RedRedBlue() {
    auto bitmap = std::make_unique<TBitmap>(3, 1);
    bitmap->SetPixel(0, 0, kRed);
    bitmap->SetPixel(1, 0, kRed);
    bitmap->SetPixel(2, 0, kBlue);
    return bitmap;
}

void AddComment(gif::TGIFFrame& frame, std::vector<std::string> lines) {
    auto block = std::make_unique<gif::TExtension>();
    block->BlockKind = gif::ekComment;
    block->SubBlockTexts = std::make_unique<platform::TStringList>();
    for (auto& line : lines) {
        block->SubBlockTexts->Add(line);
    }
    if (!frame.ExtensionList) {
        frame.ExtensionList = std::make_unique<gif::TExtensionList>();
    }
    frame.ExtensionList->push_back(std::move(block));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Where the expected bytes stand in the file.
enum class TPlace { AfterGlobalTable, BeforeTrailer };

struct TBlockCase {
    const char* Name;
    std::function<void(TGIFImage&)> Setup;
    const char* Version;
    TPlace Place;
    Bytes Expected;
    // giflib's reader stumbles over an extension block without sub-blocks,
    // which the format allows.
    bool GiflibReadable = true;
};

constexpr std::size_t kAfterGlobalTable = 13 + 256 * 3;

} // namespace

TEST(GifWriter, OptionalBlocksAndVersion) {
    const Bytes gce = {0x21, 0xF9, 0x04};
    const std::string long300(300, 'x');
    const std::vector<TBlockCase> cases = {
        {"plain frame", [](TGIFImage&) {}, "87a", TPlace::AfterGlobalTable, {0x2C}},
        {"delay 250 ms", [](TGIFImage& g) { g.FrameAt(0).DelayMs = 250; }, "89a",
         TPlace::AfterGlobalTable, Concat({gce, {0x00, 0x19, 0x00, 0x00, 0x00, 0x2C}})},
        {"delay 5 ms rounds to 0 but keeps the block",
         [](TGIFImage& g) { g.FrameAt(0).DelayMs = 5; }, "89a", TPlace::AfterGlobalTable,
         Concat({gce, {0x00, 0x00, 0x00, 0x00, 0x00, 0x2C}})},
        {"disposal 2", [](TGIFImage& g) { g.FrameAt(0).DisposalCode = 2; }, "89a",
         TPlace::AfterGlobalTable, Concat({gce, {0x08, 0x00, 0x00, 0x00, 0x00, 0x2C}})},
        {"transparent colour found at index 1",
         [](TGIFImage& g) { g.FrameAt(0).TransparencyColor = kBlue; }, "89a",
         TPlace::AfterGlobalTable, Concat({gce, {0x01, 0x00, 0x00, 0x01, 0x00, 0x2C}})},
        {"transparent colour in no entry",
         [](TGIFImage& g) { g.FrameAt(0).TransparencyColor = 0x123456; }, "89a",
         TPlace::AfterGlobalTable, Concat({gce, {0x00, 0x00, 0x00, 0x00, 0x00, 0x2C}})},
        {"frame comment",
         [](TGIFImage& g) {
             AddComment(g.FrameAt(0), {"hi", ""});
         },
         "89a",
         TPlace::AfterGlobalTable,
         {0x21, 0xFE, 0x02, 'h', 'i', 0x00, 0x2C}},
        {"frame comment without lines is dropped",
         [](TGIFImage& g) { AddComment(g.FrameAt(0), {}); },
         "87a",
         TPlace::AfterGlobalTable,
         {0x2C}},
        {"image comment of 300 bytes is cut to one sub-block",
         [&](TGIFImage& g) { g.SharedData->CommentLines.Add(long300); }, "89a",
         TPlace::BeforeTrailer, Concat({{0x21, 0xFE, 0xFF}, Bytes(255, 'x'), {0x00, 0x3B}})},
        {"empty image comment line",
         [](TGIFImage& g) { g.SharedData->CommentLines.Add(""); },
         "89a",
         TPlace::BeforeTrailer,
         {0x00, 0x21, 0xFE, 0x00, 0x3B},
         false},
        {"looping with one frame writes no block",
         [](TGIFImage& g) { g.LoopEnabled = true; },
         "87a",
         TPlace::AfterGlobalTable,
         {0x2C}},
        {"looping with two frames",
         [](TGIFImage& g) {
             g.AppendFrame(RedRedBlue().get());
             g.LoopEnabled = true;
             g.LoopCount = 0;
         },
         "89a", TPlace::AfterGlobalTable,
         Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x00, 0x00, 0x00, 0x2C}})},
        {"loop count little-endian",
         [](TGIFImage& g) {
             g.AppendFrame(RedRedBlue().get());
             g.LoopEnabled = true;
             g.LoopCount = 0x0102;
         },
         "89a", TPlace::AfterGlobalTable,
         Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x02, 0x01, 0x00, 0x2C}})},
    };
    for (const TBlockCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TGIFImage image;
        image.Assign(RedRedBlue().get());
        c.Setup(image);
        const Bytes file = SaveToBytes(image);
        ASSERT_GT(file.size(), kAfterGlobalTable + c.Expected.size());
        EXPECT_EQ(std::string(file.begin() + 3, file.begin() + 6), c.Version);
        const auto at = c.Place == TPlace::AfterGlobalTable
                            ? file.begin() + kAfterGlobalTable
                            : file.end() - static_cast<std::ptrdiff_t>(c.Expected.size());
        EXPECT_EQ(Bytes(at, at + static_cast<std::ptrdiff_t>(c.Expected.size())), c.Expected);
        if (c.GiflibReadable) {
            const TDecoded decoded = DecodeGif(file);
            EXPECT_TRUE(decoded.Ok) << decoded.Error;
        }
    }
}

TEST(GifWriter, OneFrameSnapshotLayout) {
    // A chart-like 24-bit picture of 300 x 7 with 3 colours: white most frequent,
    // then black, then red.
    TBitmap bitmap(300, 7);
    bitmap.Fill(platform::clWhite);
    for (int x = 0; x < 300; ++x) {
        bitmap.SetPixel(x, 3, platform::clBlack);
    }
    for (int x = 0; x < 20; ++x) {
        bitmap.SetPixel(x, 0, kRed);
    }
    TGIFImage image;
    image.Assign(&bitmap);
    const Bytes file = SaveToBytes(image);

    ASSERT_GT(file.size(), 794u);
    const Bytes head = {'G', 'I', 'F', '8', '7', 'a', 44, 1, 7, 0, 0xF7, 0x00, 0x00};
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 13), head);
    const Bytes colors = {255, 255, 255, 0, 0, 0, 255, 0, 0, 128, 128, 128};
    EXPECT_EQ(Bytes(file.begin() + 13, file.begin() + 25), colors);
    for (std::size_t i = 25; i < 781; ++i) {
        ASSERT_EQ(file[i], 128) << "filler colour byte " << i;
    }
    const Bytes descriptor = {0x2C, 0, 0, 0, 0, 44, 1, 7, 0, 0x00, 0x08};
    EXPECT_EQ(Bytes(file.begin() + 781, file.begin() + 792), descriptor);
    // Sub-blocks of 255 bytes but the last, then the terminator and the trailer.
    std::size_t at = 792;
    while (file.at(at) != 0) {
        const std::size_t n = file[at];
        at += 1 + n;
        if (file.at(at) != 0) {
            EXPECT_EQ(n, 255u);
        }
    }
    EXPECT_EQ(at + 2, file.size());
    EXPECT_EQ(file.back(), 0x3B);

    const TDecoded decoded = DecodeGif(file);
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.Pixels, PixelsOf(bitmap));
}

TEST(GifWriter, SizePrefixAndRepeatedWritesAreIdentical) {
    TGIFImage image;
    image.Assign(RedRedBlue().get());
    int reports = 0;
    image.SetOnProgress([&](platform::TGraphic&, platform::TProgressStage, std::uint8_t, bool,
                            const platform::TRect&, const std::string&) { ++reports; });
    const Bytes first = SaveToBytes(image);
    const int reportsOfFirst = reports;
    EXPECT_GT(reportsOfFirst, 0);
    EXPECT_EQ(SaveToBytes(image), first);
    EXPECT_EQ(reports, reportsOfFirst) << "the second write must not encode again";

    platform::TMemoryStream prefixed;
    image.WriteData(prefixed);
    const Bytes withSize = ToBytes(prefixed);
    ASSERT_EQ(withSize.size(), first.size() + 4);
    EXPECT_EQ(platform::GetLE32(withSize.data()), first.size());
    EXPECT_EQ(Bytes(withSize.begin() + 4, withSize.end()), first);
}

TEST(GifWriter, FailuresLeaveTheDestinationUntouched) {
    using gif::GifMessage;
    struct TFailure {
        const char* Name;
        std::function<void(TGIFImage&)> Setup;
        int Message;
    };
    const std::vector<TFailure> cases = {
        {"no frames", [](TGIFImage&) {}, gif::SGIFNoData},
        {"empty bitmap",
         [](TGIFImage& g) {
             TBitmap empty;
             g.Assign(&empty);
         },
         gif::SGIFNoData},
        {"global table of 3 colours",
         [](TGIFImage& g) {
             g.Assign(RedRedBlue().get());
             g.SharedData->GlobalColorTable.EntryCount = 3;
             g.SharedData->GlobalBitDepth = 2;
         },
         gif::SGIFBadColorCount},
    };
    for (const TFailure& c : cases) {
        SCOPED_TRACE(c.Name);
        TGIFImage image;
        c.Setup(image);
        platform::TMemoryStream destination;
        try {
            image.SaveToStream(destination);
            ADD_FAILURE() << "no failure";
        } catch (const platform::EInvalidGraphicOperation& e) {
            EXPECT_STREQ(e.what(), GifMessage(c.Message));
        }
        EXPECT_EQ(destination.ByteSize(), 0u);
    }
}

TEST(GifWriter, AbortingProgressHandlerResetsTheFrameForTheNextWrite) {
    auto bitmap = RedRedBlue();
    TGIFImage reference;
    reference.Assign(bitmap.get());
    const Bytes expected = SaveToBytes(reference);

    TGIFImage image;
    image.Assign(bitmap.get());
    std::vector<platform::TProgressStage> stages;
    image.SetOnProgress([&](platform::TGraphic& sender, platform::TProgressStage stage,
                            std::uint8_t, bool redrawNow, const platform::TRect& rect,
                            const std::string&) {
        EXPECT_EQ(&sender, &image);
        EXPECT_FALSE(redrawNow);
        EXPECT_EQ(rect, platform::TRect{});
        stages.push_back(stage);
        if (stage == platform::TProgressStage::psRunning) {
            throw platform::EAbort();
        }
    });
    platform::TMemoryStream destination;
    EXPECT_THROW(image.SaveToStream(destination), platform::EAbort);
    EXPECT_EQ(destination.ByteSize(), 0u);
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages.back(), platform::TProgressStage::psEnding);
    const gif::TGIFFrame& frame = image.FrameAt(0);
    EXPECT_TRUE(frame.SourceBitmap && !frame.SourceBitmap->Empty());
    EXPECT_FALSE(frame.SharedItem->CompressedData);
    EXPECT_EQ(frame.SharedItem->FrameColorTable.EntryCount, 0);

    image.SetOnProgress(nullptr);
    EXPECT_EQ(SaveToBytes(image), expected);
}

namespace {

namespace fs = std::filesystem;

struct TTempDir {
    fs::path Path = fs::temp_directory_path() /
                    ("gifimage-tests-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TTempDir() { fs::create_directories(Path); }
    ~TTempDir() { fs::remove_all(Path); }
};

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(GifWriter, FailedSaveToFileKeepsTheEarlierFile) {
    TTempDir dir;
    const fs::path target = dir.Path / "chart.gif";
    TGIFImage image;
    image.Assign(RedRedBlue().get());
    image.SaveToFile(target.string());
    const Bytes earlier = ReadFile(target);
    ASSERT_EQ(earlier, SaveToBytes(image));

    TBitmap empty;
    image.Assign(&empty);
    EXPECT_THROW(image.SaveToFile(target.string()), platform::EInvalidGraphicOperation);
    EXPECT_EQ(ReadFile(target), earlier);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 1)
        << "no temporary file may stay behind";

    const std::string missing = (dir.Path / "no-such-folder" / "chart.gif").string();
    image.Assign(RedRedBlue().get());
    try {
        image.SaveToFile(missing);
        ADD_FAILURE() << "no failure";
    } catch (const platform::EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing);
    }
}
