// The Windows BMP file layout: the 14-byte file header and the 40-byte
// information header, read from and written to little-endian bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace platform {

inline std::uint16_t GetLE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

constexpr std::uint32_t kBmpFileHeaderSize = 14;
constexpr std::uint32_t kBmpInfoHeaderSize = 40;

struct TBitmapFileHeader {
    std::uint16_t bfType = 0x4D42; // "BM"
    std::uint32_t bfSize = 0;
    std::uint16_t bfReserved1 = 0;
    std::uint16_t bfReserved2 = 0;
    std::uint32_t bfOffBits = 0;

    static TBitmapFileHeader Read(const std::uint8_t* p) {
        return {GetLE16(p), GetLE32(p + 2), GetLE16(p + 6), GetLE16(p + 8), GetLE32(p + 10)};
    }
    void Write(std::uint8_t* p) const {
        PutLE16(p, bfType);
        PutLE32(p + 2, bfSize);
        PutLE16(p + 6, bfReserved1);
        PutLE16(p + 8, bfReserved2);
        PutLE32(p + 10, bfOffBits);
    }
};

struct TBitmapInfoHeader {
    std::uint32_t biSize = kBmpInfoHeaderSize;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // positive: rows stored bottom-up
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;

    static TBitmapInfoHeader Read(const std::uint8_t* p) {
        TBitmapInfoHeader h;
        h.biSize = GetLE32(p);
        h.biWidth = static_cast<std::int32_t>(GetLE32(p + 4));
        h.biHeight = static_cast<std::int32_t>(GetLE32(p + 8));
        h.biPlanes = GetLE16(p + 12);
        h.biBitCount = GetLE16(p + 14);
        h.biCompression = GetLE32(p + 16);
        h.biSizeImage = GetLE32(p + 20);
        h.biXPelsPerMeter = static_cast<std::int32_t>(GetLE32(p + 24));
        h.biYPelsPerMeter = static_cast<std::int32_t>(GetLE32(p + 28));
        h.biClrUsed = GetLE32(p + 32);
        h.biClrImportant = GetLE32(p + 36);
        return h;
    }
    void Write(std::uint8_t* p) const {
        PutLE32(p, biSize);
        PutLE32(p + 4, static_cast<std::uint32_t>(biWidth));
        PutLE32(p + 8, static_cast<std::uint32_t>(biHeight));
        PutLE16(p + 12, biPlanes);
        PutLE16(p + 14, biBitCount);
        PutLE32(p + 16, biCompression);
        PutLE32(p + 20, biSizeImage);
        PutLE32(p + 24, static_cast<std::uint32_t>(biXPelsPerMeter));
        PutLE32(p + 28, static_cast<std::uint32_t>(biYPelsPerMeter));
        PutLE32(p + 32, biClrUsed);
        PutLE32(p + 36, biClrImportant);
    }
};

// Bytes per stored row: whole 32-bit words.
constexpr std::int64_t BmpStride(std::int64_t width, int bitsPerPixel) {
    return ((width * bitsPerPixel + 31) / 32) * 4;
}

} // namespace platform
