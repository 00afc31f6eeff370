// Colour reduction to the 8-bit DIB stream. The popularity method is compared
// byte for byte with a plain version that recounts every pixel through the
// 2049-entry histogram with its 5191-slot hash, and checked on small pictures
// whose palettes are worked out by hand.
#include "gif/ColorReduction.h"

#include "platform/BmpLayout.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t Rgb(int r, int g, int b) {
    return static_cast<std::uint32_t>((r << 16) | (g << 8) | b);
}
int RedOf(std::uint32_t c) {
    return static_cast<int>(c >> 16);
}
int GreenOf(std::uint32_t c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
int BlueOf(std::uint32_t c) {
    return static_cast<int>(c & 0xFF);
}

// A 24-bit picture as 0xRRGGBB values in stored order: stored row 0 is the
// picture's bottom row.
struct Picture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Px;

    std::uint32_t At(int storedRow, int x) const {
        return Px[static_cast<std::size_t>(storedRow) * static_cast<std::size_t>(Width) +
                  static_cast<std::size_t>(x)];
    }
    // Rows of blue, green, red bytes, each row followed by extra bytes of junk.
    Bytes Rows(std::size_t extra = 0) const {
        const std::size_t stride = static_cast<std::size_t>(Width) * 3 + extra;
        Bytes rows(stride * static_cast<std::size_t>(Height), 0xA5);
        for (int r = 0; r < Height; ++r) {
            for (int x = 0; x < Width; ++x) {
                std::uint8_t* p = rows.data() + static_cast<std::size_t>(r) * stride +
                                  static_cast<std::size_t>(x) * 3;
                const std::uint32_t c = At(r, x);
                p[0] = static_cast<std::uint8_t>(BlueOf(c));
                p[1] = static_cast<std::uint8_t>(GreenOf(c));
                p[2] = static_cast<std::uint8_t>(RedOf(c));
            }
        }
        return rows;
    }
};

// The 8-bit result, read back field by field.
struct Dib {
    Bytes Data;

    platform::TBitmapFileHeader File() const {
        return platform::TBitmapFileHeader::Read(Data.data());
    }
    platform::TBitmapInfoHeader Info() const {
        return platform::TBitmapInfoHeader::Read(Data.data() + 14);
    }
    std::uint32_t Slot(int i) const {
        const std::uint8_t* p = Data.data() + 54 + i * 4;
        return Rgb(p[2], p[1], p[0]);
    }
    std::size_t Stride() const {
        return (static_cast<std::size_t>(Info().biWidth) + 3) & ~std::size_t{3};
    }
    std::uint8_t Index(int storedRow, int x) const {
        return Data[1078 + static_cast<std::size_t>(storedRow) * Stride() +
                    static_cast<std::size_t>(x)];
    }
};

Dib Reduce(const Picture& picture, gif::TReductionMethod method = gif::rmPopularity) {
    const Bytes rows = picture.Rows();
    auto stream = gif::ReduceRowsToDIB8(rows.data(), picture.Width * 3, picture.Width,
                                        picture.Height, method);
    EXPECT_EQ(stream->Position(), 0);
    return Dib{Bytes(stream->Memory(), stream->Memory() + stream->ByteSize())};
}

// The popularity method written out plainly: recount all pixels through the
// fixed histogram until it holds them, choose the palette by repeated maximum
// search, map leftovers by a full nearest search.
Dib ReferencePopularity(const Picture& picture) {
    struct Entry {
        int Blue, Green, Red;
        int Count;
        int Palette;
    };
    std::vector<Entry> entries;
    std::vector<int> slots(5191);
    int masks[3] = {0xFF, 0xFF, 0xFF}; // red, green, blue
    auto find = [&](std::uint32_t c, bool& added) -> int {
        const int r = RedOf(c) & masks[0], g = GreenOf(c) & masks[1], b = BlueOf(c) & masks[2];
        int slot = ((r + g) * (g + b) * (b + r)) % 5191;
        while (slots[slot] != 0xFFFF) {
            const Entry& e = entries[static_cast<std::size_t>(slots[slot])];
            if (e.Red == r && e.Green == g && e.Blue == b) {
                added = false;
                return slots[slot];
            }
            slot = (slot + 1) % 5191;
        }
        added = true;
        if (entries.size() == 2049) {
            return -1;
        }
        entries.push_back({b, g, r, 0, 0});
        slots[slot] = static_cast<int>(entries.size() - 1);
        return slots[slot];
    };
    for (bool counted = false; !counted;) {
        entries.clear();
        std::fill(slots.begin(), slots.end(), 0xFFFF);
        counted = true;
        for (int y = 0; y < picture.Height && counted; ++y) {
            for (int x = 0; x < picture.Width; ++x) {
                bool added = false;
                const int e = find(picture.At(y, x), added);
                if (e < 0) {
                    counted = false;
                    break;
                }
                ++entries[static_cast<std::size_t>(e)].Count;
            }
        }
        if (!counted) {
            if (masks[0] < masks[1]) {
                masks[1] = (masks[1] << 1) & 0xFF;
            } else if (masks[0] > masks[2]) {
                masks[0] = (masks[0] << 1) & 0xFF;
            } else {
                masks[2] = (masks[2] << 1) & 0xFF;
            }
        }
    }
    std::array<std::uint32_t, 256> table;
    table.fill(Rgb(128, 128, 128));
    int filled = 0;
    for (; filled < 256 && filled < static_cast<int>(entries.size()); ++filled) {
        std::size_t best = 0;
        for (std::size_t j = 1; j < entries.size(); ++j) {
            if (entries[j].Count > entries[best].Count) {
                best = j;
            }
        }
        entries[best].Palette = filled;
        entries[best].Count = 0;
        table[static_cast<std::size_t>(filled)] =
            Rgb(entries[best].Red, entries[best].Green, entries[best].Blue);
    }
    for (Entry& e : entries) {
        if (e.Count > 0) {
            int best = 0x30000;
            for (int k = 0; k < 256; ++k) {
                const std::uint32_t c = table[static_cast<std::size_t>(k)];
                const int d = (RedOf(c) - e.Red) * (RedOf(c) - e.Red) +
                              (GreenOf(c) - e.Green) * (GreenOf(c) - e.Green) +
                              (BlueOf(c) - e.Blue) * (BlueOf(c) - e.Blue);
                if (d < best) {
                    best = d;
                    e.Palette = k;
                }
            }
        }
    }

    const std::size_t stride8 = (static_cast<std::size_t>(picture.Width) + 3) & ~std::size_t{3};
    const std::size_t imageSize = stride8 * static_cast<std::size_t>(picture.Height);
    Dib dib{Bytes(1078 + imageSize, 0)};
    platform::TBitmapFileHeader file;
    file.bfSize = static_cast<std::uint32_t>(1078 + imageSize);
    file.bfOffBits = 1078;
    file.Write(dib.Data.data());
    platform::TBitmapInfoHeader info;
    info.biWidth = picture.Width;
    info.biHeight = picture.Height;
    info.biBitCount = 8;
    info.biSizeImage = static_cast<std::uint32_t>(imageSize);
    info.Write(dib.Data.data() + 14);
    for (int k = 0; k < 256; ++k) {
        std::uint8_t* p = dib.Data.data() + 54 + k * 4;
        p[0] = static_cast<std::uint8_t>(BlueOf(table[static_cast<std::size_t>(k)]));
        p[1] = static_cast<std::uint8_t>(GreenOf(table[static_cast<std::size_t>(k)]));
        p[2] = static_cast<std::uint8_t>(RedOf(table[static_cast<std::size_t>(k)]));
    }
    for (int y = 0; y < picture.Height; ++y) {
        for (int x = 0; x < picture.Width; ++x) {
            bool added = false;
            const int e = find(picture.At(y, x), added);
            dib.Data[1078 + static_cast<std::size_t>(y) * stride8 + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(entries[static_cast<std::size_t>(e)].Palette);
        }
    }
    return dib;
}

// A picture drawn from a list of colours with given pixel counts, the pixels
// shuffled (or kept in list order).
Picture FromCounts(int width, const std::vector<std::pair<std::uint32_t, int>>& counts,
                   unsigned seed, bool shuffle = true) {
    Picture p;
    for (const auto& [color, n] : counts) {
        p.Px.insert(p.Px.end(), static_cast<std::size_t>(n), color);
    }
    if (shuffle) {
        std::mt19937 rng(seed);
        std::shuffle(p.Px.begin(), p.Px.end(), rng);
    }
    p.Width = width;
    p.Height = static_cast<int>(p.Px.size()) / width;
    p.Px.resize(static_cast<std::size_t>(p.Width) * static_cast<std::size_t>(p.Height));
    return p;
}

Picture RandomColors(int width, int height, int colours, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> palette;
    for (int i = 0; i < colours; ++i) {
        palette.push_back(rng() & 0xFFFFFF);
    }
    Picture p{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        // Skewed counts, so that popularity decides the palette.
        const std::uint32_t a = rng() % static_cast<unsigned>(colours);
        const std::uint32_t b = rng() % static_cast<unsigned>(colours);
        p.Px.push_back(palette[std::min(a, b)]);
    }
    return p;
}

Picture PhotoLike(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    Picture p{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto noise = [&] { return static_cast<int>(rng() % 9) - 4; };
            const auto clamp = [](int v) { return std::clamp(v, 0, 255); };
            p.Px.push_back(Rgb(clamp(x * 255 / width + noise()), clamp(y * 255 / height + noise()),
                               clamp((x + y) * 127 / (width + height) + 64 + noise())));
        }
    }
    return p;
}

// Runs of random lengths up to maxRun, each of a colour drawn from colours
// random ones, running on across row ends: flat areas as in charts.
Picture RandomRuns(int width, int height, int colours, int maxRun, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> palette;
    for (int i = 0; i < colours; ++i) {
        palette.push_back(rng() & 0xFFFFFF);
    }
    Picture p{width, height, {}};
    const auto total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    while (p.Px.size() < total) {
        const std::uint32_t color = palette[rng() % static_cast<unsigned>(colours)];
        const std::size_t run =
            std::min<std::size_t>(1 + rng() % static_cast<unsigned>(maxRun), total - p.Px.size());
        p.Px.insert(p.Px.end(), run, color);
    }
    return p;
}

// The pictures one above the other in stored order; all of one width.
Picture Stacked(const std::vector<Picture>& parts) {
    Picture p{parts.front().Width, 0, {}};
    for (const Picture& part : parts) {
        p.Px.insert(p.Px.end(), part.Px.begin(), part.Px.end());
        p.Height += part.Height;
    }
    return p;
}

// 1025 red/green pairs, each with blue 10 and blue 11 (2050 colours), minus
// the last drop colours; listed alternately so the first 256 met mix both blues.
Picture BluePairs(int drop) {
    std::vector<std::pair<std::uint32_t, int>> counts;
    for (int i = 0; i < 1025; ++i) {
        const int r = i & 0xFF;
        const int g = (i >> 8) * 50 + 1;
        counts.push_back({Rgb(r, g, 10), 1});
        counts.push_back({Rgb(r, g, 11), 1});
    }
    counts.resize(counts.size() - static_cast<std::size_t>(drop));
    return FromCounts(static_cast<int>(counts.size()), counts, 0, false);
}

TEST(ReduceRowsToDIB8, PopularityMatchesPlainRecount) {
    struct Case {
        const char* Name;
        Picture Pic;
    };
    const Case cases[] = {
        {"12 colours", RandomColors(64, 40, 12, 1)},
        {"257 colours", RandomColors(61, 47, 257, 2)},
        {"1000 colours", RandomColors(97, 83, 1000, 3)},
        {"2049 colours", BluePairs(1)},
        {"2050 colours", BluePairs(0)},
        {"noise", RandomColors(100, 80, 100000, 4)},
        {"photo-like", PhotoLike(211, 150, 5)},
        {"more colours than counted at full precision", RandomColors(450, 400, 1 << 24, 6)},
        {"one pixel", RandomColors(1, 1, 1, 7)},
        {"one column", RandomColors(1, 300, 300, 8)},
        {"long runs of 12 colours", RandomRuns(301, 70, 12, 500, 9)},
        {"short and long runs of 600 colours", RandomRuns(257, 90, 600, 12, 10)},
        {"runs of more colours than the histogram holds", RandomRuns(300, 200, 1 << 24, 16, 11)},
        {"bands of flat runs and noise",
         Stacked({RandomRuns(203, 9, 12, 400, 13), RandomColors(203, 4, 40, 14),
                  RandomRuns(203, 9, 12, 400, 15), RandomColors(203, 1, 40, 16),
                  RandomRuns(203, 5, 12, 400, 17)})},
        {"more pixels than colour numbers are kept for", RandomColors(2100, 2000, 200, 18)},
        {"runs of more colours than counted at full precision",
         RandomRuns(600, 600, 1 << 24, 4, 12)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Dib expected = ReferencePopularity(c.Pic);
        const Dib actual = Reduce(c.Pic);
        ASSERT_EQ(actual.Data.size(), expected.Data.size());
        EXPECT_TRUE(
            std::equal(actual.Data.begin(), actual.Data.begin() + 1078, expected.Data.begin()))
            << "headers or colour table differ";
        EXPECT_EQ(actual.Data, expected.Data);
    }
}

TEST(ReduceRowsToDIB8, FewColoursKeptExactlyByPopularity) {
    const std::uint32_t a = Rgb(10, 20, 30), b = Rgb(200, 0, 0), c = Rgb(0, 0, 255),
                        d = Rgb(1, 2, 3);
    // Stored row 0 (the bottom row) comes first: c ties with b and is met first.
    const Picture picture{4,
                          3,
                          {c, a, b, d, //
                           a, a, c, b, //
                           a, c, b, a}};
    const Dib dib = Reduce(picture);
    EXPECT_EQ(dib.Slot(0), a);
    EXPECT_EQ(dib.Slot(1), c);
    EXPECT_EQ(dib.Slot(2), b);
    EXPECT_EQ(dib.Slot(3), d);
    for (int i = 4; i < 256; ++i) {
        EXPECT_EQ(dib.Slot(i), Rgb(128, 128, 128)) << i;
    }
    for (int r = 0; r < picture.Height; ++r) {
        for (int x = 0; x < picture.Width; ++x) {
            EXPECT_EQ(dib.Slot(dib.Index(r, x)), picture.At(r, x));
        }
    }
    EXPECT_EQ(dib.Info().biClrImportant, 0u);
}

TEST(ReduceRowsToDIB8, LeftoverColourTakesNearestSlotWithTiesToTheLowest) {
    const std::uint32_t high = Rgb(0, 0, 2), low = Rgb(0, 0, 0), between = Rgb(0, 0, 1);
    std::vector<std::pair<std::uint32_t, int>> counts = {{high, 3}};
    for (int i = 0; i < 254; ++i) {
        counts.push_back({Rgb(200, i, 200), 2});
    }
    counts.push_back({low, 2});
    counts.push_back({between, 1}); // colour 257: equally far from high and low
    counts.push_back({Rgb(200, 3, 201), 1});
    const Picture picture = FromCounts(5, counts, 9); // 515 pixels
    const Dib dib = Reduce(picture);
    EXPECT_EQ(dib.Slot(0), high);
    int lowSlot = -1;
    for (int i = 0; i < 256; ++i) {
        if (dib.Slot(i) == low) {
            lowSlot = i;
        }
    }
    EXPECT_GT(lowSlot, 0);
    for (int r = 0; r < picture.Height; ++r) {
        for (int x = 0; x < picture.Width; ++x) {
            if (picture.At(r, x) == between) {
                EXPECT_EQ(dib.Index(r, x), 0);
            } else if (picture.At(r, x) == Rgb(200, 3, 201)) {
                EXPECT_EQ(dib.Slot(dib.Index(r, x)), Rgb(200, 3, 200));
            } else {
                EXPECT_EQ(dib.Slot(dib.Index(r, x)), picture.At(r, x));
            }
        }
    }
}

TEST(ReduceRowsToDIB8, MasksCoarsenOnlyBeyond2049Colours) {
    const Dib exact = Reduce(BluePairs(1));
    const Dib coarse = Reduce(BluePairs(0));
    std::set<int> exactBlues, coarseBlues, coarseReds;
    for (int i = 0; i < 256; ++i) {
        exactBlues.insert(BlueOf(exact.Slot(i)));
        coarseBlues.insert(BlueOf(coarse.Slot(i)));
        coarseReds.insert(RedOf(coarse.Slot(i)));
    }
    EXPECT_EQ(exactBlues, (std::set<int>{10, 11}));
    EXPECT_EQ(coarseBlues, (std::set<int>{10})); // blue mask 0xFE, the others untouched
    EXPECT_TRUE(coarseReds.count(1) == 1 && coarseReds.count(255) == 1);
}

TEST(ReduceRowsToDIB8, EveryPixelTakesItsOwnOrTheNearestPaletteColour) {
    const Picture picture = RandomColors(120, 90, 1500, 10);
    const Dib dib = Reduce(picture);
    std::vector<std::uint32_t> table;
    for (int i = 0; i < 256; ++i) {
        table.push_back(dib.Slot(i));
    }
    ASSERT_EQ(std::set<std::uint32_t>(table.begin(), table.end()).size(), 256u);
    for (int r = 0; r < picture.Height; ++r) {
        for (int x = 0; x < picture.Width; ++x) {
            const std::uint32_t c = picture.At(r, x);
            const auto own = std::find(table.begin(), table.end(), c);
            int expected = 0;
            if (own != table.end()) {
                expected = static_cast<int>(own - table.begin());
            } else {
                long best = -1;
                for (int k = 0; k < 256; ++k) {
                    const long dr = RedOf(table[static_cast<std::size_t>(k)]) - RedOf(c);
                    const long dg = GreenOf(table[static_cast<std::size_t>(k)]) - GreenOf(c);
                    const long db = BlueOf(table[static_cast<std::size_t>(k)]) - BlueOf(c);
                    const long d = dr * dr + dg * dg + db * db;
                    if (best < 0 || d < best) {
                        best = d;
                        expected = k;
                    }
                }
            }
            ASSERT_EQ(dib.Index(r, x), expected) << "stored row " << r << ", column " << x;
        }
    }
}

TEST(ReduceRowsToDIB8, HeaderFieldsAndRowPadding) {
    for (int width : {1, 3, 4, 5, 9}) {
        SCOPED_TRACE(width);
        const int height = 3;
        const Picture picture = RandomColors(width, height, 5, static_cast<unsigned>(width));
        const Dib dib = Reduce(picture);
        const std::uint32_t stride8 = (static_cast<std::uint32_t>(width) + 3) / 4 * 4;
        const platform::TBitmapFileHeader file = dib.File();
        const platform::TBitmapInfoHeader info = dib.Info();
        EXPECT_EQ(file.bfType, 0x4D42);
        EXPECT_EQ(file.bfSize, 1078 + stride8 * height);
        EXPECT_EQ(file.bfSize, dib.Data.size());
        EXPECT_EQ(file.bfReserved1, 0);
        EXPECT_EQ(file.bfReserved2, 0);
        EXPECT_EQ(file.bfOffBits, 1078u);
        EXPECT_EQ(info.biSize, 40u);
        EXPECT_EQ(info.biWidth, width);
        EXPECT_EQ(info.biHeight, height);
        EXPECT_EQ(info.biPlanes, 1);
        EXPECT_EQ(info.biBitCount, 8);
        EXPECT_EQ(info.biCompression, 0u);
        EXPECT_EQ(info.biSizeImage, stride8 * height);
        EXPECT_EQ(info.biXPelsPerMeter, 0);
        EXPECT_EQ(info.biYPelsPerMeter, 0);
        EXPECT_EQ(info.biClrUsed, 0u);
        for (int i = 0; i < 256; ++i) {
            EXPECT_EQ(dib.Data[54 + static_cast<std::size_t>(i) * 4 + 3], 0);
        }
        for (int r = 0; r < height; ++r) {
            for (std::uint32_t x = static_cast<std::uint32_t>(width); x < stride8; ++x) {
                EXPECT_EQ(dib.Data[1078 + r * stride8 + x], 0);
            }
        }
    }
}

TEST(ReduceRowsToDIB8, ReadsAnyRowLayoutAndLeavesTheInputAlone) {
    const Picture picture = PhotoLike(37, 23, 11);
    const Dib expected = Reduce(picture);
    for (gif::TReductionMethod method : {gif::rmPopularity, gif::rmGrayLevels, gif::rmMedianCut}) {
        SCOPED_TRACE(static_cast<int>(method));
        const Dib plain = Reduce(picture, method);
        // Padded rows, and rows stored top-down (negative stride).
        const Bytes padded = picture.Rows(5);
        const Bytes copy = padded;
        auto fromPadded = gif::ReduceRowsToDIB8(padded.data(), 37 * 3 + 5, 37, 23, method);
        EXPECT_EQ(Bytes(fromPadded->Memory(), fromPadded->Memory() + fromPadded->ByteSize()),
                  plain.Data);
        EXPECT_EQ(padded, copy);
        const Bytes bottomUp = picture.Rows();
        Bytes topDown(bottomUp.size());
        for (int r = 0; r < 23; ++r) {
            std::copy_n(bottomUp.begin() + r * 111, 111, topDown.begin() + (22 - r) * 111);
        }
        auto fromTopDown = gif::ReduceRowsToDIB8(topDown.data() + 22 * 111, -111, 37, 23, method);
        EXPECT_EQ(Bytes(fromTopDown->Memory(), fromTopDown->Memory() + fromTopDown->ByteSize()),
                  plain.Data);
    }
    EXPECT_EQ(Reduce(picture).Data, expected.Data);
}

TEST(ReduceRowsToDIB8, RepeatedCallsGiveTheSameBytes) {
    // Work memory is kept between calls; many calls must never see old entries.
    const Picture many = RandomColors(64, 64, 5000, 12);
    const Picture few = RandomColors(30, 20, 40, 13);
    const Dib manyFirst = Reduce(many);
    const Dib fewFirst = Reduce(few);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(Reduce(i % 7 == 0 ? many : few).Data, (i % 7 == 0 ? manyFirst : fewFirst).Data)
            << i;
    }
}

TEST(ReduceRowsToDIB8, GrayLevels) {
    const Picture picture = PhotoLike(50, 20, 14);
    const Dib dib = Reduce(picture, gif::rmGrayLevels);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(dib.Slot(i), Rgb(i, i, i));
    }
    EXPECT_EQ(dib.Info().biClrImportant, 0u);
    for (int r = 0; r < picture.Height; ++r) {
        for (int x = 0; x < picture.Width; ++x) {
            const std::uint32_t c = picture.At(r, x);
            ASSERT_EQ(dib.Index(r, x), (77 * RedOf(c) + 150 * GreenOf(c) + 29 * BlueOf(c)) >> 8);
        }
    }
    const Picture extremes{2, 1, {Rgb(255, 255, 255), Rgb(0, 0, 0)}};
    const Dib e = Reduce(extremes, gif::rmGrayLevels);
    EXPECT_EQ(e.Index(0, 0), 255);
    EXPECT_EQ(e.Index(0, 1), 0);
}

TEST(ReduceRowsToDIB8, OtherMethods) {
    const Picture picture = PhotoLike(40, 30, 15);
    struct Case {
        gif::TReductionMethod Method;
        std::uint32_t Important;
        int MaxError; // largest channel difference between a pixel and its palette colour
    };
    const Case cases[] = {
        {gif::rmFixedPalette216, 216, 26},
        {gif::rmFixedPalette224, 224, 43},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Method));
        const Dib dib = Reduce(picture, c.Method);
        EXPECT_EQ(dib.Info().biClrImportant, c.Important);
        for (int r = 0; r < picture.Height; ++r) {
            for (int x = 0; x < picture.Width; ++x) {
                const std::uint32_t want = picture.At(r, x);
                ASSERT_LT(dib.Index(r, x), c.Important);
                const std::uint32_t got = dib.Slot(dib.Index(r, x));
                EXPECT_LE(std::abs(RedOf(got) - RedOf(want)), c.MaxError);
                EXPECT_LE(std::abs(GreenOf(got) - GreenOf(want)), c.MaxError);
                EXPECT_LE(std::abs(BlueOf(got) - BlueOf(want)), c.MaxError);
            }
        }
    }
    // Known corners of the fixed palettes.
    const Picture corners{3, 1, {Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(51, 102, 153)}};
    const Dib p216 = Reduce(corners, gif::rmFixedPalette216);
    EXPECT_EQ(p216.Index(0, 0), 215);
    EXPECT_EQ(p216.Index(0, 1), 0);
    EXPECT_EQ(p216.Index(0, 2), 1 * 36 + 2 * 6 + 3);
    EXPECT_EQ(p216.Slot(1 * 36 + 2 * 6 + 3), Rgb(51, 102, 153));
    const Dib p224 = Reduce(corners, gif::rmFixedPalette224);
    EXPECT_EQ(p224.Index(0, 0), 6 * 32 + 7 * 4 + 3);
    EXPECT_EQ(p224.Slot(1 * 32 + 1 * 4 + 1), Rgb(43, 36, 85));

    // Channel ramps: each pixel keeps one channel, chosen by stored row + column.
    const Dib ramps = Reduce(picture, gif::rmChannelRamps);
    for (int r = 0; r < picture.Height; ++r) {
        for (int x = 0; x < picture.Width; ++x) {
            const std::uint32_t c = picture.At(r, x);
            const int channel = (r + x) % 3;
            const int value = channel == 0 ? RedOf(c) : channel == 1 ? GreenOf(c) : BlueOf(c);
            ASSERT_EQ(ramps.Index(r, x), channel * 64 + (value >> 2));
        }
    }

    // Median cut with fewer occupied cells than boxes: one box per cell.
    const Picture cells = RandomColors(30, 30, 60, 16);
    std::set<int> occupied;
    for (std::uint32_t c : cells.Px) {
        occupied.insert((RedOf(c) >> 4) << 8 | (GreenOf(c) >> 4) << 4 | (BlueOf(c) >> 4));
    }
    const Dib median = Reduce(cells, gif::rmMedianCut);
    EXPECT_EQ(median.Info().biClrImportant, occupied.size());
    for (int r = 0; r < cells.Height; ++r) {
        for (int x = 0; x < cells.Width; ++x) {
            const std::uint32_t want = cells.At(r, x);
            const std::uint32_t got = median.Slot(median.Index(r, x));
            EXPECT_LE(std::abs(RedOf(got) - RedOf(want)), 15);
            EXPECT_LE(std::abs(GreenOf(got) - GreenOf(want)), 15);
            EXPECT_LE(std::abs(BlueOf(got) - BlueOf(want)), 15);
        }
    }
    const Dib manyBoxes = Reduce(PhotoLike(200, 100, 17), gif::rmMedianCut);
    EXPECT_LE(manyBoxes.Info().biClrImportant, 256u);
    EXPECT_GT(manyBoxes.Info().biClrImportant, 100u);
}

TEST(ReduceRowsToDIB8, RejectsAnEmptyPicture) {
    const std::uint8_t pixel[3] = {1, 2, 3};
    EXPECT_THROW(gif::ReduceRowsToDIB8(pixel, 3, 0, 1, gif::rmPopularity),
                 platform::EInvalidGraphic);
    EXPECT_THROW(gif::ReduceRowsToDIB8(pixel, 3, 1, 0, gif::rmPopularity),
                 platform::EInvalidGraphic);
    EXPECT_THROW(gif::ReduceRowsToDIB8(nullptr, 3, 1, 1, gif::rmPopularity),
                 platform::EInvalidGraphic);
    EXPECT_EQ(gif::DefaultReductionMethod, gif::rmPopularity);
}

} // namespace
