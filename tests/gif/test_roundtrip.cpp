// Whole files made from bitmaps, decoded by giflib: pictures of up to 256
// colours come back exactly; with more colours every pixel shows the palette
// colour nearest to its own.
#include "GifTestSupport.h"

#include <map>

using namespace giftest;
using gif::TGIFImage;
using platform::TBitmap;
using platform::TPixelFormat;

TEST(GifRoundTrip, UpTo256ColoursComeBackExactly) {
    struct TCase {
        int Width;
        int Height;
        std::size_t Colors;
        TPixelFormat Format;
    };
    const TCase cases[] = {
        {1, 1, 1, TPixelFormat::pf24bit},      {1, 17, 2, TPixelFormat::pf24bit},
        {17, 1, 3, TPixelFormat::pf32bit},     {33, 9, 16, TPixelFormat::pfDevice},
        {101, 37, 200, TPixelFormat::pf24bit}, {64, 64, 256, TPixelFormat::pf24bit},
        {255, 3, 256, TPixelFormat::pf32bit},  {2, 2000, 5, TPixelFormat::pf24bit},
    };
    std::mt19937 random(12345);
    for (const TCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Width << " x " << c.Height << ", " << c.Colors
                                          << " colours, format " << static_cast<int>(c.Format));
        auto bitmap =
            RandomBitmap(c.Width, c.Height, RandomColors(c.Colors, random), random, c.Format);
        TGIFImage image;
        image.Assign(bitmap.get());
        const TDecoded decoded = DecodeGif(SaveToBytes(image));
        ASSERT_TRUE(decoded.Ok) << decoded.Error;
        EXPECT_EQ(decoded.ScreenWidth, c.Width);
        EXPECT_EQ(decoded.ScreenHeight, c.Height);
        EXPECT_EQ(decoded.Pixels, PixelsOf(*bitmap));
    }
}

TEST(GifRoundTrip, MoreColoursMapToTheNearestPaletteColour) {
    std::mt19937 random(99);
    for (std::size_t colors : {257u, 600u, 2049u}) {
        SCOPED_TRACE(colors);
        auto bitmap = RandomBitmap(97, 61, RandomColors(colors, random), random);
        TGIFImage image;
        image.Assign(bitmap.get());
        const TDecoded decoded = DecodeGif(SaveToBytes(image));
        ASSERT_TRUE(decoded.Ok) << decoded.Error;
        ASSERT_EQ(decoded.GlobalColors.size(), 256u);

        // The palette holds the 256 most frequent colours; each other colour
        // takes the entry at the smallest squared distance, the lowest on a tie.
        const std::vector<std::uint32_t> original = PixelsOf(*bitmap);
        std::map<std::uint32_t, std::uint32_t> nearest;
        for (std::size_t i = 0; i < original.size(); ++i) {
            const std::uint32_t color = original[i];
            auto found = nearest.find(color);
            if (found == nearest.end()) {
                found =
                    nearest.emplace(color, NearestPaletteColor(decoded.GlobalColors, color)).first;
            }
            ASSERT_EQ(decoded.Pixels[i], found->second) << "pixel " << i;
        }
    }
}

TEST(GifRoundTrip, GreyLevelFramesStayGrey) {
    std::mt19937 random(5);
    auto bitmap = RandomBitmap(40, 30, RandomColors(500, random), random);
    TGIFImage image;
    image.Assign(bitmap.get());
    image.FrameAt(0).ForceGrayscale = true;
    const TDecoded decoded = DecodeGif(SaveToBytes(image));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_TRUE(image.FrameAt(0).ForceGrayscale);
    const std::vector<std::uint32_t> original = PixelsOf(*bitmap);
    for (std::size_t i = 0; i < original.size(); ++i) {
        const std::uint32_t c = original[i];
        const std::uint32_t level =
            (77 * (c >> 16) + 150 * ((c >> 8) & 0xFF) + 29 * (c & 0xFF)) >> 8;
        ASSERT_EQ(decoded.Pixels[i], level * 0x010101u) << "pixel " << i;
    }
}
