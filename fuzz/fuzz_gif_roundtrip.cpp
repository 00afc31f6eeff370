// Arbitrary small bitmaps through the encoder, decoded by giflib. Indexed
// bitmaps and pictures of up to 256 colours must come back exactly; with more
// colours (and too few to coarsen the counting) every pixel must show the
// palette colour nearest to its own.
//
// Input: format selector, width, height, colour mode, then the bytes that fill
// the palette (indexed) or the colour set and the pixels.
#include "GifDecode.h"
#include "gif/GifImage.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"

#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

namespace {

using platform::TPixelFormat;

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__);            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

std::uint32_t Rgb(platform::TColor c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr TPixelFormat kFormats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,
                                                TPixelFormat::pf8bit,  TPixelFormat::pf24bit,
                                                TPixelFormat::pf32bit, TPixelFormat::pfDevice};
    TInput input(data, size);
    const TPixelFormat format = kFormats[input.Byte() % 6];
    const int width = 1 + input.Byte() % 64;
    const int height = 1 + input.Byte() % 64;
    const int mode = input.Byte();

    platform::TBitmap bitmap(0, 0, format);
    bitmap.SetSize(width, height);
    const int bits = bitmap.BitsPerPixel();
    if (bits <= 8) {
        std::vector<platform::TRGBQuad> palette(std::size_t{1} << bits);
        for (auto& q : palette) {
            q = {input.Byte(), input.Byte(), input.Byte(), 0};
        }
        bitmap.SetPalette(palette);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = bitmap.ScanLine(y);
            for (std::ptrdiff_t i = 0; i < (std::ptrdiff_t{width} * bits + 7) / 8; ++i) {
                row[i] = input.Byte();
            }
        }
    } else {
        // Mode below 128: pixels drawn from a set of up to 32 colours; otherwise
        // every pixel's colour comes from the input.
        std::vector<platform::TColor> colors(static_cast<std::size_t>(mode % 32 + 1));
        for (auto& c : colors) {
            c = platform::RGBColor(input.Byte(), input.Byte(), input.Byte());
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                bitmap.SetPixel(x, y,
                                mode < 128
                                    ? colors[input.Byte() % colors.size()]
                                    : platform::RGBColor(input.Byte(), input.Byte(), input.Byte()));
            }
        }
    }

    gif::TGIFImage image;
    image.Assign(&bitmap);
    platform::TMemoryStream stream;
    image.SaveToStream(stream);
    const giftest::Bytes file(stream.Memory(), stream.Memory() + stream.ByteSize());
    const giftest::TDecoded decoded = giftest::DecodeGif(file);
    FUZZ_CHECK(decoded.Ok);
    FUZZ_CHECK(decoded.Width == width && decoded.Height == height);
    FUZZ_CHECK(decoded.Pixels.size() == static_cast<std::size_t>(width) * height);

    std::vector<std::uint32_t> original;
    std::unordered_set<std::uint32_t> distinct;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            original.push_back(Rgb(bitmap.Pixel(x, y)));
            distinct.insert(original.back());
        }
    }
    if (bits <= 8 || distinct.size() <= 256) {
        FUZZ_CHECK(decoded.Pixels == original);
    } else if (distinct.size() <= 2049) {
        std::unordered_map<std::uint32_t, std::uint32_t> nearest;
        for (std::size_t i = 0; i < original.size(); ++i) {
            const std::uint32_t c = original[i];
            auto found = nearest.find(c);
            if (found == nearest.end()) {
                found =
                    nearest.emplace(c, giftest::NearestPaletteColor(decoded.GlobalColors, c)).first;
            }
            FUZZ_CHECK(decoded.Pixels[i] == found->second);
        }
    }
    return 0;
}
