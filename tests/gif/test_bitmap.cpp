// The platform bitmap: shared pixels copied on write, 24-bit rows without a
// copy, the BMP file layout written and read back, and bad BMP input.
#include "GifTestSupport.h"

#include "platform/Exceptions.h"

using namespace giftest;
using platform::TBitmap;
using platform::TPixelFormat;

TEST(Bitmap, AssignSharesPixelsUntilOneIsWritten) {
    TBitmap a(3, 2);
    a.Fill(0x112233);
    TBitmap b;
    b.Assign(&a);
    EXPECT_EQ(b.Bits(), a.Bits());
    b.ScanLine(0)[0] = 0x99;
    EXPECT_NE(b.Bits(), a.Bits());
    EXPECT_EQ(a.Pixel(0, 0), 0x112233u);
    EXPECT_EQ(b.Pixel(0, 0), 0x992233u);
    b.Assign(nullptr);
    EXPECT_TRUE(b.Empty());
}

TEST(Bitmap, ScanLineCountsFromTheTopAndRows24AvoidsCopies) {
    TBitmap bitmap(2, 3);
    bitmap.Fill(platform::clBlack);
    bitmap.ScanLine(0)[2] = 0xFF; // top-left pixel red
    std::unique_ptr<std::uint8_t[]> scratch;
    const TBitmap::TRows24 rows = bitmap.Rows24(scratch);
    EXPECT_EQ(rows.FirstStoredRow, bitmap.Bits());
    EXPECT_FALSE(scratch);
    EXPECT_EQ(rows.StoredStride, 8);
    EXPECT_EQ(rows.FirstStoredRow[2 * 8 + 2], 0xFF) << "top row is stored last";

    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    const TBitmap::TRows24 converted = bitmap.Rows24(scratch);
    EXPECT_EQ(converted.FirstStoredRow, scratch.get());
    EXPECT_EQ(converted.FirstStoredRow[2 * 8 + 2], 0xFF);
    EXPECT_EQ(converted.FirstStoredRow[2 * 8 + 1], 0x00);
    EXPECT_EQ(converted.FirstStoredRow[2 * 8 + 6], 0x00) << "padding";
}

TEST(Bitmap, SetSizeKeepsTheTopLeftAndFillsWithTheBrush) {
    TBitmap bitmap(2, 2);
    bitmap.Fill(0x0000FF);
    bitmap.SetBrushColor(0x00FF00);
    bitmap.SetSize(3, 3);
    EXPECT_EQ(bitmap.Pixel(1, 1), 0x0000FFu);
    EXPECT_EQ(bitmap.Pixel(2, 0), 0x00FF00u);
    EXPECT_EQ(bitmap.Pixel(0, 2), 0x00FF00u);
}

TEST(Bitmap, BmpLayoutRoundTripsEveryFormat) {
    std::mt19937 random(3);
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        SCOPED_TRACE(static_cast<int>(format));
        const int bits = TBitmap::BitsPerPixel(format);
        auto bitmap = RandomBitmap(13, 5, {0x000000, 0xFFFFFF, 0x0000FF}, random, format);
        platform::TMemoryStream stream;
        bitmap->SaveToStream(stream);
        const std::size_t palette = bits <= 8 ? (std::size_t{4} << bits) : 0;
        const auto stride = static_cast<std::size_t>(platform::BmpStride(13, bits));
        EXPECT_EQ(stream.ByteSize(), 54 + palette + 5 * stride);
        EXPECT_EQ(platform::GetLE32(stream.Memory() + 10), 54 + palette);
        stream.SetPosition(0);
        TBitmap loaded;
        loaded.LoadFromStream(stream);
        EXPECT_EQ(loaded.PixelFormat(), format);
        EXPECT_EQ(PixelsOf(loaded), PixelsOf(*bitmap));
    }
}

TEST(Bitmap, ReadsTopDownRowsAndShortPalettes) {
    // 2 x 2, 8 bits, two palette entries, top-down: top row 0 1, bottom row 1 0.
    TBmpSpec layout;
    layout.Width = 2;
    layout.Height = -2;
    layout.Bits = 8;
    layout.ColorsUsed = 2;
    layout.Palette = {{0, 0, 255, 0}, {255, 0, 0, 0}};
    layout.Rows = {0, 1, 0, 0, 1, 0, 0, 0};
    const Bytes bytes = MakeBmp(layout);
    platform::TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), bytes.size());
    stream.SetPosition(0);
    TBitmap bitmap;
    bitmap.LoadFromStream(stream);
    EXPECT_EQ(bitmap.Palette().size(), 256u);
    EXPECT_EQ(PixelsOf(bitmap),
              (std::vector<std::uint32_t>{0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000}));
}

TEST(Bitmap, BadBmpInputFailsWithAClearMessage) {
    TBmpSpec good;
    good.Width = 2;
    good.Height = 2;
    good.Rows = Bytes(16, 0);
    struct TCase {
        const char* Name;
        Bytes Data;
        const char* Reason;
    };
    auto with = [&](auto change) {
        TBmpSpec layout = good;
        change(layout);
        return MakeBmp(layout);
    };
    Bytes truncated = MakeBmp(good);
    truncated.pop_back();
    Bytes headerOnly = MakeBmp(good);
    headerOnly.resize(30);
    Bytes notBmp = {'G', 'I', 'F', '8', '9', 'a'};
    Bytes coreHeader = MakeBmp(good);
    coreHeader[14] = 12;
    const TCase cases[] = {
        {"not a BMP", notBmp, "not a BMP file"},
        {"truncated rows", truncated, "truncated"},
        {"truncated header", headerOnly, "truncated"},
        {"old header", coreHeader, "header size 12"},
        {"zero width", with([](TBmpSpec& s) { s.Width = 0; }), "dimensions 0 x 2"},
        {"zero height", with([](TBmpSpec& s) { s.Height = 0; }), "dimensions 2 x 0"},
        {"absurd width", with([](TBmpSpec& s) { s.Width = 1 << 30; }), "dimensions"},
        {"absurd height", with([](TBmpSpec& s) { s.Height = INT32_MIN; }), "dimensions"},
        {"run-length compression", with([](TBmpSpec& s) { s.Compression = 1; }), "compression 1"},
        {"16 bits", with([](TBmpSpec& s) { s.Bits = 16; }), "bits per pixel 16"},
        {"too many colours", with([](TBmpSpec& s) {
             s.Bits = 1;
             s.ColorsUsed = 3;
         }),
         "colour count 3"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        platform::TMemoryStream stream;
        stream.WriteBuffer(c.Data.data(), c.Data.size());
        stream.SetPosition(0);
        TBitmap bitmap(1, 1);
        try {
            bitmap.LoadFromStream(stream);
            ADD_FAILURE() << "no failure";
        } catch (const platform::EInvalidGraphic& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("Bitmap image is not valid: ", 0), 0u) << message;
            EXPECT_NE(message.find(c.Reason), std::string::npos) << message;
        }
        EXPECT_EQ(bitmap.Width(), 1) << "a failed read leaves the bitmap unchanged";
    }
}
