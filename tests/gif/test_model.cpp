// The GIF image model and the bitmap import: frames, versions, the logical
// screen, shared records, colour tables and the control block.
#include "GifTestSupport.h"

#include "gif/GifMessages.h"
#include "gif/ReduceBitmap.h"
#include "platform/Exceptions.h"

using namespace giftest;
using gif::TGIFFrame;
using gif::TGIFImage;
using platform::TBitmap;
using platform::TPixelFormat;

TEST(GifModel, NewImage) {
    TGIFImage image;
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.FrameCount(), 0);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_EQ(image.LogicalScreenWidth(), 0);
    EXPECT_EQ(image.LogicalScreenHeight(), 0);
    EXPECT_EQ(image.ActiveFrameIndex, -1);
    EXPECT_EQ(image.ScreenBackColor, platform::clNone);
    EXPECT_EQ(image.LoopCount, 1);
    EXPECT_FALSE(image.LoopEnabled);
    EXPECT_EQ(image.FormatVersion, 0);
    EXPECT_FALSE(image.Transparent()) << "transparent only when a frame has a transparency colour";
}

TEST(GifModel, AppendFrameIndexesAndVersions) {
    TBitmap a(4, 3);
    TBitmap b(2, 5);
    TGIFImage image;
    EXPECT_EQ(image.AppendFrame(&a), 0);
    EXPECT_EQ(image.FormatVersion, 1);
    EXPECT_EQ(image.ActiveFrameIndex, 0);
    EXPECT_EQ(image.AppendFrame(&b), 1);
    EXPECT_EQ(image.FormatVersion, 2);
    EXPECT_EQ(image.ActiveFrameIndex, 1);
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.Height(), 5);
    EXPECT_EQ(image.LogicalScreenWidth(), 4);
    EXPECT_EQ(image.LogicalScreenHeight(), 5);
}

TEST(GifModel, AssignBitmapReplacesEverything) {
    TBitmap first(4, 3);
    TBitmap second(7, 2);
    TGIFImage image;
    int changes = 0;
    image.SetOnChange([&](platform::TGraphic&) { ++changes; });
    image.Assign(&first);
    SaveToBytes(image);
    const auto firstGlobal = image.SharedData.Get();
    image.Assign(&second);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(image.FrameCount(), 1);
    EXPECT_EQ(image.FormatVersion, 1);
    EXPECT_NE(image.SharedData.Get(), firstGlobal);
    EXPECT_EQ(image.SharedData->GlobalColorTable.EntryCount, 0);
    EXPECT_EQ(image.LogicalScreenWidth(), 7);
    EXPECT_EQ(image.LogicalScreenHeight(), 2);
    const TDecoded decoded = DecodeGif(SaveToBytes(image));
    ASSERT_TRUE(decoded.Ok);
    EXPECT_EQ(decoded.Width, 7);
}

TEST(GifModel, FitScreenToFramesKeepsLow16Bits) {
    TBitmap narrow(100, 1);
    TGIFImage image;
    image.AppendFrame(&narrow);
    image.FrameAt(0).ImageLeft = 10;
    image.FitScreenToFrames();
    EXPECT_EQ(image.LogicalScreenWidth(), 110);

    TBitmap wide(65530, 1);
    image.Assign(&wide);
    image.FrameAt(0).ImageLeft = 10;
    image.FitScreenToFrames();
    EXPECT_EQ(image.LogicalScreenWidth(), 4);
}

TEST(GifModel, WideBitmapKeepsItsWidthInTheFrame) {
    TBitmap wide(70000, 1);
    TGIFImage image;
    image.Assign(&wide);
    SaveToBytes(image);
    EXPECT_EQ(image.FrameAt(0).SharedItem->PixelWidth, 70000);
    EXPECT_EQ(image.LogicalScreenWidth(), 70000 & 0xFFFF);
}

TEST(GifModel, SizeCannotBeSet) {
    TBitmap bitmap(4, 3);
    TGIFImage image;
    image.Assign(&bitmap);
    for (auto set : {&TGIFImage::SetWidth, &TGIFImage::SetHeight}) {
        try {
            (image.*set)(image.Width());
            ADD_FAILURE() << "no failure";
        } catch (const platform::EInvalidGraphicOperation& e) {
            EXPECT_STREQ(e.what(), gif::GifMessage(gif::SGIFCannotResize));
        }
    }
}

TEST(GifModel, SharedRecordsOutliveTheOtherHolder) {
    std::mt19937 random(7);
    auto bitmap = RandomBitmap(9, 5, RandomColors(6, random), random);
    auto source = std::make_unique<TGIFImage>();
    source->Assign(bitmap.get());
    source->SharedData->CommentLines.Add("kept");
    const Bytes expected = SaveToBytes(*source);

    TGIFImage copy;
    copy.Assign(source.get());
    EXPECT_TRUE(copy.Equals(*source));
    EXPECT_EQ(copy.SharedData.Get(), source->SharedData.Get());
    EXPECT_EQ(copy.FrameAt(0).SharedItem.Get(), source->FrameAt(0).SharedItem.Get());
    EXPECT_EQ(copy.SharedData->RefCount(), 2);
    source.reset();
    EXPECT_EQ(copy.SharedData->RefCount(), 1);
    EXPECT_EQ(copy.SharedData->CommentLines.Count(), 1u);
    EXPECT_EQ(SaveToBytes(copy), expected);

    TGIFImage fromFrame;
    fromFrame.Assign(&copy.FrameAt(0));
    EXPECT_FALSE(fromFrame.Equals(copy));
    EXPECT_EQ(fromFrame.FrameAt(0).SharedItem.Get(), copy.FrameAt(0).SharedItem.Get());
    EXPECT_EQ(fromFrame.SharedData->GlobalColorTable.EntryCount, 256);
    EXPECT_EQ(fromFrame.SharedData->CommentLines.Count(), 0u);
}

TEST(GifModel, IndexOfColorAndBitsForColorCount) {
    gif::ColorTable table;
    table.EntryCount = 8;
    table.Entries[3] = {1, 2, 3};
    table.Entries[7] = {1, 2, 3};
    table.Entries[5] = {240, 240, 240};
    EXPECT_EQ(gif::IndexOfColor(table, platform::RGBColor(1, 2, 3)), 3);
    EXPECT_EQ(gif::IndexOfColor(table, platform::RGBColor(0, 0, 0)), 0);
    EXPECT_EQ(gif::IndexOfColor(table, platform::RGBColor(9, 9, 9)), -1);
    EXPECT_EQ(gif::IndexOfColor(table, platform::kSystemColorFlag + 15), 5) << "button face";
    table.EntryCount = 3;
    EXPECT_EQ(gif::IndexOfColor(table, platform::RGBColor(1, 2, 3)), -1) << "beyond EntryCount";
    EXPECT_EQ(gif::IndexOfColor(table, platform::clNone), -1);

    for (int bits = 1; bits <= 8; ++bits) {
        EXPECT_EQ(gif::BitsForColorCount(1 << bits), bits);
    }
    for (int bad : {0, 1, 3, 255, 257, 512}) {
        EXPECT_THROW(gif::BitsForColorCount(bad), platform::EInvalidGraphicOperation) << bad;
    }
}

TEST(GifModel, ControlBlockFollowsTheFrameFields) {
    TBitmap bitmap(2, 2);
    TGIFImage image;
    image.Assign(&bitmap);
    TGIFFrame& frame = image.FrameAt(0);
    frame.SyncControlExtension();
    EXPECT_FALSE(frame.ExtensionList);
    EXPECT_EQ(image.FormatVersion, 1);

    frame.DelayMs = 155;
    frame.TransparencyColor = 0x123456;
    frame.SyncControlExtension();
    ASSERT_TRUE(frame.ExtensionList);
    ASSERT_EQ(frame.ExtensionList->size(), 1u);
    const gif::TExtension& block = *frame.ExtensionList->front();
    EXPECT_EQ(block.FixedBlock[2], 15);
    EXPECT_EQ(block.FixedBlock[1] & 1, 0);
    EXPECT_EQ(image.FormatVersion, 2);

    // Back to defaults: the block stays and is refreshed.
    frame.DelayMs = 0;
    frame.TransparencyColor = platform::clNone;
    frame.SyncControlExtension();
    ASSERT_EQ(frame.ExtensionList->size(), 1u);
    EXPECT_EQ(block.FixedBlock[2], 0);
}

TEST(GifModel, IndexedBitmapsKeepTheirPalettes) {
    struct TCase {
        TPixelFormat Format;
        int Colors;
        int Bits;
        std::uint8_t MinimumCodeSize;
    };
    for (const TCase c :
         {TCase{TPixelFormat::pf1bit, 2, 1, 2}, TCase{TPixelFormat::pf4bit, 16, 4, 4},
          TCase{TPixelFormat::pf8bit, 256, 8, 8}}) {
        SCOPED_TRACE(c.Bits);
        TBitmap bitmap(5, 3, c.Format);
        std::vector<platform::TRGBQuad> palette(static_cast<std::size_t>(c.Colors));
        for (int i = 0; i < c.Colors; ++i) {
            palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7, 0};
        }
        bitmap.SetPalette(palette);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                const auto& q = palette[static_cast<std::size_t>((x + 2 * y) % c.Colors)];
                bitmap.SetPixel(x, y, platform::RGBColor(q.Red, q.Green, q.Blue));
            }
        }
        TGIFImage image;
        image.Assign(&bitmap);
        const Bytes file = SaveToBytes(image);
        const gif::TGIFItem& item = *image.FrameAt(0).SharedItem;
        EXPECT_EQ(item.FrameColorTable.EntryCount, c.Colors);
        EXPECT_EQ(item.BitDepth, c.Bits);
        EXPECT_EQ(item.FrameColorTable.Entries[1].Blue, 1);
        EXPECT_EQ(item.FrameColorTable.Entries[1].Green, 254);
        EXPECT_EQ(file[10], 0x80 | ((c.Bits - 1) << 4) | (c.Bits - 1));
        EXPECT_EQ(file[13 + 3 * c.Colors + 10], c.MinimumCodeSize);
        const TDecoded decoded = DecodeGif(file);
        ASSERT_TRUE(decoded.Ok) << decoded.Error;
        EXPECT_EQ(decoded.Pixels, PixelsOf(bitmap));
    }
}

TEST(GifModel, SecondFrameGetsALocalTableEvenWhenEqual) {
    TBitmap bitmap(3, 3);
    bitmap.Fill(0x00FF00);
    TGIFImage image;
    image.AppendFrame(&bitmap);
    image.AppendFrame(&bitmap);
    const Bytes file = SaveToBytes(image);
    EXPECT_FALSE(image.FrameAt(0).HasLocalColorTable);
    EXPECT_TRUE(image.FrameAt(1).HasLocalColorTable);
    const TDecoded decoded = DecodeGif(file);
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.ImageCount, 2);
}

TEST(GifModel, TransparentBitmapGivesAControlBlock) {
    TBitmap bitmap(2, 1);
    bitmap.SetPixel(0, 0, 0x0000FF);
    bitmap.SetPixel(1, 0, 0x00FF00);
    bitmap.SetTransparent(true);
    bitmap.SetTransparentColor(0x00FF00);
    TGIFImage image;
    image.Assign(&bitmap);
    EXPECT_EQ(image.FrameAt(0).TransparencyColor, 0x00FF00u);
    EXPECT_TRUE(image.Transparent());
    const Bytes file = SaveToBytes(image);
    EXPECT_EQ(file[5], 'a');
    EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF89a");
    // Red and green are met once each: red first, so green is index 1.
    const Bytes expected = {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x01, 0x00, 0x2C};
    EXPECT_EQ(Bytes(file.begin() + 781, file.begin() + 790), expected);
}

TEST(GifModel, FailedAssignLeavesTheImageUnchanged) {
    TBitmap bitmap(3, 2);
    TGIFImage image;
    image.Assign(&bitmap);
    gif::TExtension extension;
    try {
        image.Assign(&extension);
        ADD_FAILURE() << "no failure";
    } catch (const platform::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TExtension to a TGIFImage");
    }
    EXPECT_EQ(image.FrameCount(), 1);
    EXPECT_EQ(image.Width(), 3);
}

namespace {

// A graphic that no bitmap can copy: the frame draws it instead.
class TDot : public platform::TGraphic {
public:
    const char* ClassName() const override { return "TDot"; }
    void SaveToStream(platform::TStream&) override {}
    void LoadFromStream(platform::TStream&) override {}
    void Draw(TBitmap& canvas, std::int32_t x, std::int32_t y) const override {
        canvas.SetPixel(x + 1, y + 1, platform::clBlack);
    }

protected:
    bool GetEmpty() const override { return false; }
    std::int32_t GetWidth() const override { return 3; }
    std::int32_t GetHeight() const override { return 2; }
    void DoSetWidth(std::int32_t) override {}
    void DoSetHeight(std::int32_t) override {}
};

} // namespace

TEST(GifModel, GraphicThatCannotBeCopiedIsDrawnOnMagenta) {
    TDot dot;
    dot.SetTransparent(true);
    TGIFImage image;
    image.Assign(nullptr);
    image.AppendFrame(&dot);
    const TGIFFrame& frame = image.FrameAt(0);
    ASSERT_TRUE(frame.SourceBitmap);
    EXPECT_EQ(frame.SourceBitmap->Width(), 3);
    EXPECT_EQ(frame.SourceBitmap->Pixel(0, 0), platform::clFuchsia);
    EXPECT_EQ(frame.SourceBitmap->Pixel(1, 1), platform::clBlack);
    EXPECT_EQ(frame.TransparencyColor, platform::clFuchsia);
}

TEST(GifModel, EmptyBitmapGivesAnEmptyImage) {
    TBitmap empty;
    TGIFImage image;
    image.Assign(&empty);
    EXPECT_EQ(image.FrameCount(), 1);
    EXPECT_EQ(image.FormatVersion, 1);
    EXPECT_TRUE(image.Empty());
    EXPECT_FALSE(image.FrameAt(0).SourceBitmap);
    EXPECT_EQ(image.LogicalScreenWidth(), 0);
}

TEST(GifModel, ImportDibRejectsTrueColourStreams) {
    TBitmap bitmap(2, 2);
    TGIFImage image;
    image.Assign(&bitmap);
    platform::TMemoryStream dib;
    bitmap.WriteBmp(dib);
    TGIFFrame& frame = image.FrameAt(0);
    const gif::TGIFItem* item = frame.SharedItem.Get();
    try {
        frame.ImportDib(dib);
        ADD_FAILURE() << "no failure";
    } catch (const platform::EInvalidGraphicOperation& e) {
        EXPECT_STREQ(e.what(), gif::GifMessage(gif::SGIFEncodeError));
    }
    EXPECT_EQ(frame.SharedItem.Get(), item);
    EXPECT_FALSE(item->CompressedData);
    EXPECT_EQ(item->FrameColorTable.EntryCount, 0);
}

TEST(GifModel, ReduceBitmapToDIBDecisionOrder) {
    using gif::ReduceBitmapToDIB;
    TBitmap empty;
    try {
        ReduceBitmapToDIB(empty, TPixelFormat::pf8bit, gif::rmPopularity);
        ADD_FAILURE() << "no failure";
    } catch (const platform::EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }

    // An 8-bit bitmap asked for 8 bits is its own BMP file image, unless grey
    // levels are asked for.
    TBitmap indexed(3, 2, TPixelFormat::pf8bit);
    indexed.SetPixel(1, 1, 0x0000FF);
    platform::TMemoryStream own;
    indexed.WriteBmp(own);
    const auto same = ReduceBitmapToDIB(indexed, TPixelFormat::pf8bit, gif::rmPopularity);
    EXPECT_EQ(same->Position(), 0);
    EXPECT_EQ(ToBytes(*same), ToBytes(own));
    const auto grey = ReduceBitmapToDIB(indexed, TPixelFormat::pf8bit, gif::rmGrayLevels);
    EXPECT_EQ(grey->Memory()[54 + 4 * 200], 200) << "grey ramp palette";

    EXPECT_THROW(ReduceBitmapToDIB(indexed, TPixelFormat::pf24bit, gif::rmPopularity),
                 platform::EInvalidGraphicOperation);

    // 1 and 4 bits: each pixel's nearest colour of the default palette.
    TBitmap colours(2, 1);
    colours.SetPixel(0, 0, 0x202020);
    colours.SetPixel(1, 0, 0xF0F0F0);
    const auto mono = ReduceBitmapToDIB(colours, TPixelFormat::pf1bit, gif::rmPopularity);
    EXPECT_EQ(platform::GetLE16(mono->Memory() + 28), 1);
    EXPECT_EQ(mono->Memory()[62], 0x40) << "black, then white";
    const auto vga = ReduceBitmapToDIB(colours, TPixelFormat::pf4bit, gif::rmPopularity);
    EXPECT_EQ(platform::GetLE16(vga->Memory() + 28), 4);
    EXPECT_EQ(vga->Memory()[54 + 64], 0x0F) << "black, then white";
}
