// Helpers of the GIF tests: pictures to encode, the encoder's output decoded by
// giflib, and BMP files built byte by byte.
#pragma once

#include "GifDecode.h"
#include "gif/GifImage.h"
#include "platform/Bitmap.h"
#include "platform/BmpLayout.h"
#include "platform/Streams.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace giftest {

inline Bytes ToBytes(const platform::TMemoryStream& stream) {
    return Bytes(stream.Memory(), stream.Memory() + stream.ByteSize());
}

inline Bytes SaveToBytes(gif::TGIFImage& image) {
    platform::TMemoryStream stream;
    image.SaveToStream(stream);
    return ToBytes(stream);
}

// The picture of a bitmap as 0x00RRGGBB, top row first.
inline std::vector<std::uint32_t> PixelsOf(const platform::TBitmap& bitmap) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            const platform::TColor c = bitmap.Pixel(x, y);
            pixels.push_back(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
        }
    }
    return pixels;
}

// A true-colour bitmap whose pixels are drawn from colours at random.
inline std::unique_ptr<platform::TBitmap>
RandomBitmap(int width, int height, const std::vector<platform::TColor>& colors,
             std::mt19937& random,
             platform::TPixelFormat format = platform::TPixelFormat::pf24bit) {
    auto bitmap = std::make_unique<platform::TBitmap>(0, 0, format);
    bitmap->SetSize(width, height);
    std::uniform_int_distribution<std::size_t> pick(0, colors.size() - 1);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bitmap->SetPixel(x, y, colors[pick(random)]);
        }
    }
    return bitmap;
}

inline std::vector<platform::TColor> RandomColors(std::size_t count, std::mt19937& random) {
    std::vector<platform::TColor> colors;
    std::uniform_int_distribution<std::uint32_t> any(0, 0xFFFFFF);
    while (colors.size() < count) {
        const platform::TColor c = any(random);
        if (std::find(colors.begin(), colors.end(), c) == colors.end()) {
            colors.push_back(c);
        }
    }
    return colors;
}

// A BMP file image: headers as given, palette, rows exactly as given.
struct TBmpSpec {
    std::int32_t Width = 1;
    std::int32_t Height = 1;
    std::uint16_t Bits = 24;
    std::uint32_t Compression = 0;
    std::uint32_t ColorsUsed = 0;
    std::vector<platform::TRGBQuad> Palette;
    Bytes Rows; // stored order
};

inline Bytes MakeBmp(const TBmpSpec& layout) {
    const std::size_t paletteBytes = layout.Palette.size() * 4;
    Bytes bytes(54 + paletteBytes);
    platform::TBitmapFileHeader file;
    file.bfOffBits = static_cast<std::uint32_t>(54 + paletteBytes);
    file.bfSize = static_cast<std::uint32_t>(file.bfOffBits + layout.Rows.size());
    file.Write(bytes.data());
    platform::TBitmapInfoHeader info;
    info.biWidth = layout.Width;
    info.biHeight = layout.Height;
    info.biBitCount = layout.Bits;
    info.biCompression = layout.Compression;
    info.biSizeImage = static_cast<std::uint32_t>(layout.Rows.size());
    info.biClrUsed = layout.ColorsUsed;
    info.Write(bytes.data() + 14);
    for (std::size_t i = 0; i < layout.Palette.size(); ++i) {
        bytes[54 + 4 * i] = layout.Palette[i].Blue;
        bytes[55 + 4 * i] = layout.Palette[i].Green;
        bytes[56 + 4 * i] = layout.Palette[i].Red;
    }
    bytes.insert(bytes.end(), layout.Rows.begin(), layout.Rows.end());
    return bytes;
}

} // namespace giftest
