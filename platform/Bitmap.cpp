#include "platform/Bitmap.h"

#include "platform/BmpLayout.h"
#include "platform/Exceptions.h"
#include "platform/Messages.h"
#include "platform/Streams.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace platform {

namespace {

[[noreturn]] void FailInvalid(const std::string& reason) {
    throw EInvalidGraphic(std::string(SInvalidBitmap) + ": " + reason);
}

TBitmapImage* NewImage(std::int32_t width, std::int32_t height, TPixelFormat format) {
    const int bits = TBitmap::BitsPerPixel(format);
    if (bits == 0) {
        throw EInvalidGraphicOperation("Unsupported pixel format");
    }
    if (width < 0 || height < 0) {
        throw EInvalidGraphicOperation("Invalid bitmap size");
    }
    auto image = std::make_unique<TBitmapImage>();
    image->Width = width;
    image->Height = height;
    image->Format = format;
    image->Stride = static_cast<std::ptrdiff_t>(BmpStride(width, bits));
    try {
        image->Bits.resize(static_cast<std::size_t>(image->Stride) *
                           static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    } catch (const std::length_error&) {
        throw EOutOfMemory();
    }
    if (bits <= 8) {
        image->Palette = DefaultPalette(bits);
    }
    return image.release();
}

int NearestIndex(const std::vector<TRGBQuad>& palette, std::uint8_t b, std::uint8_t g,
                 std::uint8_t r) {
    int best = 0;
    int bestDistance = 0x30000;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int db = palette[i].Blue - b;
        const int dg = palette[i].Green - g;
        const int dr = palette[i].Red - r;
        const int distance = db * db + dg * dg + dr * dr;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    return best;
}

int IndexAt(const std::uint8_t* row, std::int32_t x, int bits) {
    switch (bits) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) != 0 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default:
        return row[x];
    }
}

void SetIndexAt(std::uint8_t* row, std::int32_t x, int bits, int index) {
    switch (bits) {
    case 1: {
        const int shift = 7 - (x & 7);
        row[x >> 3] =
            static_cast<std::uint8_t>((row[x >> 3] & ~(1 << shift)) | ((index & 1) << shift));
        break;
    }
    case 4:
        if ((x & 1) != 0) {
            row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
        } else {
            row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
        }
        break;
    default:
        row[x] = static_cast<std::uint8_t>(index);
        break;
    }
}

// One stored row of any format as blue, green, red bytes.
void RowToBGR(const TBitmapImage& image, const std::uint8_t* row, std::uint8_t* out) {
    const int bits = TBitmap::BitsPerPixel(image.Format);
    const std::int32_t width = image.Width;
    if (bits == 24) {
        std::memcpy(out, row, static_cast<std::size_t>(width) * 3);
    } else if (bits == 32) {
        for (std::int32_t x = 0; x < width; ++x) {
            out[3 * x] = row[4 * x];
            out[3 * x + 1] = row[4 * x + 1];
            out[3 * x + 2] = row[4 * x + 2];
        }
    } else {
        for (std::int32_t x = 0; x < width; ++x) {
            const auto index = static_cast<std::size_t>(IndexAt(row, x, bits));
            const TRGBQuad q = index < image.Palette.size() ? image.Palette[index] : TRGBQuad{};
            out[3 * x] = q.Blue;
            out[3 * x + 1] = q.Green;
            out[3 * x + 2] = q.Red;
        }
    }
}

// Blue, green, red bytes into one stored row; indexed formats take the nearest
// palette colour.
void BGRToRow(const TBitmapImage& image, const std::uint8_t* in, std::uint8_t* row) {
    const int bits = TBitmap::BitsPerPixel(image.Format);
    const std::int32_t width = image.Width;
    if (bits == 24) {
        std::memcpy(row, in, static_cast<std::size_t>(width) * 3);
    } else if (bits == 32) {
        for (std::int32_t x = 0; x < width; ++x) {
            row[4 * x] = in[3 * x];
            row[4 * x + 1] = in[3 * x + 1];
            row[4 * x + 2] = in[3 * x + 2];
            row[4 * x + 3] = 0;
        }
    } else {
        int lastColor = -1;
        int lastIndex = 0;
        for (std::int32_t x = 0; x < width; ++x) {
            const int color = in[3 * x] | (in[3 * x + 1] << 8) | (in[3 * x + 2] << 16);
            if (color != lastColor) {
                lastColor = color;
                lastIndex = NearestIndex(image.Palette, in[3 * x], in[3 * x + 1], in[3 * x + 2]);
            }
            SetIndexAt(row, x, bits, lastIndex);
        }
    }
}

std::uint8_t* StoredRow(TBitmapImage& image, std::int32_t storedRow) {
    return image.Bits.data() + image.Stride * storedRow;
}

void FillImage(TBitmapImage& image, TColor color) {
    if (image.Width == 0 || image.Height == 0) {
        return;
    }
    const TColor rgb = ColorToRGB(color);
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(image.Width) * 3);
    for (std::size_t i = 0; i < bgr.size(); i += 3) {
        bgr[i] = static_cast<std::uint8_t>(rgb >> 16);
        bgr[i + 1] = static_cast<std::uint8_t>(rgb >> 8);
        bgr[i + 2] = static_cast<std::uint8_t>(rgb);
    }
    BGRToRow(image, bgr.data(), StoredRow(image, 0));
    for (std::int32_t r = 1; r < image.Height; ++r) {
        std::memcpy(StoredRow(image, r), StoredRow(image, 0),
                    static_cast<std::size_t>(image.Stride));
    }
}

} // namespace

std::vector<TRGBQuad> DefaultPalette(int bitsPerPixel) {
    static constexpr std::uint8_t kVga[16][3] = {
        {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    std::vector<TRGBQuad> palette;
    auto add = [&palette](int r, int g, int b) {
        palette.push_back({static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                           static_cast<std::uint8_t>(r), 0});
    };
    if (bitsPerPixel == 1) {
        add(0, 0, 0);
        add(255, 255, 255);
        return palette;
    }
    for (const auto& c : kVga) {
        add(c[0], c[1], c[2]);
    }
    if (bitsPerPixel == 8) {
        // The 6 x 6 x 6 colour cube, then 24 greys between its own.
        for (int r = 0; r < 6; ++r) {
            for (int g = 0; g < 6; ++g) {
                for (int b = 0; b < 6; ++b) {
                    add(r * 51, g * 51, b * 51);
                }
            }
        }
        for (int i = 0; i < 24; ++i) {
            const int level = 8 + i * 10;
            add(level, level, level);
        }
    }
    return palette;
}

TBitmap::TBitmap() : image_(NewImage(0, 0, TPixelFormat::pf24bit)) {}

TBitmap::TBitmap(std::int32_t width, std::int32_t height, TPixelFormat format)
    : image_(NewImage(0, 0, format)) {
    SetSize(width, height);
}

TBitmap::~TBitmap() = default;

int TBitmap::BitsPerPixel(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf24bit:
        return 24;
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfDevice:
        return 32;
    default:
        return 0;
    }
}

void TBitmap::Assign(const TPersistent* source) {
    if (source == nullptr) {
        image_.Reset(NewImage(0, 0, image_->Format));
        Changed();
        return;
    }
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
        if (bitmap != this) {
            image_ = bitmap->image_;
            monochrome_ = bitmap->monochrome_;
            transparentColor_ = bitmap->transparentColor_;
            brushColor_ = bitmap->brushColor_;
            SetTransparentFlag(bitmap->TransparentFlag());
            Changed();
        }
        return;
    }
    TGraphic::Assign(source);
}

void TBitmap::Unshare() {
    if (image_->RefCount() > 1) {
        auto copy = std::make_unique<TBitmapImage>();
        copy->Width = image_->Width;
        copy->Height = image_->Height;
        copy->Format = image_->Format;
        copy->Stride = image_->Stride;
        try {
            copy->Bits = image_->Bits;
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory();
        }
        copy->Palette = image_->Palette;
        image_.Reset(copy.release());
    }
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == image_->Format) {
        return;
    }
    TSharedRef<TBitmapImage> converted(NewImage(image_->Width, image_->Height, format));
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(image_->Width) * 3);
    for (std::int32_t r = 0; r < image_->Height; ++r) {
        RowToBGR(*image_, image_->Bits.data() + image_->Stride * r, bgr.data());
        BGRToRow(*converted, bgr.data(), StoredRow(*converted, r));
    }
    image_ = std::move(converted);
    if (format != TPixelFormat::pf1bit) {
        monochrome_ = false;
    }
    Changed();
}

void TBitmap::SetSize(std::int32_t width, std::int32_t height) {
    if (width == image_->Width && height == image_->Height) {
        return;
    }
    TSharedRef<TBitmapImage> resized(NewImage(width, height, image_->Format));
    resized->Palette = image_->Palette;
    FillImage(*resized, brushColor_);
    const std::int32_t rows = std::min(height, image_->Height);
    const std::size_t bytes = static_cast<std::size_t>(
        (std::int64_t{std::min(width, image_->Width)} * BitsPerPixel(image_->Format) + 7) / 8);
    for (std::int32_t y = 0; y < rows; ++y) {
        // Whole bytes of the overlap; in a packed row a partly covered last byte
        // brings old pixels beyond the overlap, which the new width cuts off anyway.
        std::memcpy(StoredRow(*resized, height - 1 - y),
                    image_->Bits.data() + image_->Stride * (image_->Height - 1 - y), bytes);
    }
    image_ = std::move(resized);
    Changed();
}

void TBitmap::SetPalette(const std::vector<TRGBQuad>& palette) {
    if (image_->Palette.empty()) {
        return;
    }
    Unshare();
    const std::size_t n = std::min(palette.size(), image_->Palette.size());
    std::copy_n(palette.begin(), n, image_->Palette.begin());
    Changed();
}

void TBitmap::SetMonochrome(bool value) {
    if (value) {
        SetPixelFormat(TPixelFormat::pf1bit);
        Unshare();
        image_->Palette = DefaultPalette(1);
    }
    monochrome_ = value;
}

TColor TBitmap::TransparentColor() const {
    if (transparentColor_ != clDefault) {
        return transparentColor_;
    }
    if (Empty()) {
        return clDefault;
    }
    return Pixel(0, image_->Height - 1);
}

std::uint8_t* TBitmap::ScanLine(std::int32_t y) {
    if (y < 0 || y >= image_->Height) {
        throw EInvalidGraphicOperation("Scan line index out of range");
    }
    Unshare();
    return StoredRow(*image_, image_->Height - 1 - y);
}

const std::uint8_t* TBitmap::ScanLine(std::int32_t y) const {
    if (y < 0 || y >= image_->Height) {
        throw EInvalidGraphicOperation("Scan line index out of range");
    }
    return image_->Bits.data() + image_->Stride * (image_->Height - 1 - y);
}

TColor TBitmap::Pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || x >= image_->Width || y < 0 || y >= image_->Height) {
        return clNone;
    }
    const std::uint8_t* row = ScanLine(y);
    const int bits = BitsPerPixel();
    if (bits >= 24) {
        const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * (bits / 8);
        return RGBColor(p[2], p[1], p[0]);
    }
    const auto index = static_cast<std::size_t>(IndexAt(row, x, bits));
    const TRGBQuad q = index < image_->Palette.size() ? image_->Palette[index] : TRGBQuad{};
    return RGBColor(q.Red, q.Green, q.Blue);
}

void TBitmap::SetPixel(std::int32_t x, std::int32_t y, TColor color) {
    if (x < 0 || x >= image_->Width || y < 0 || y >= image_->Height) {
        return;
    }
    std::uint8_t* row = ScanLine(y);
    const TColor rgb = ColorToRGB(color);
    const auto r = static_cast<std::uint8_t>(rgb);
    const auto g = static_cast<std::uint8_t>(rgb >> 8);
    const auto b = static_cast<std::uint8_t>(rgb >> 16);
    const int bits = BitsPerPixel();
    if (bits >= 24) {
        std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * (bits / 8);
        p[0] = b;
        p[1] = g;
        p[2] = r;
        return;
    }
    SetIndexAt(row, x, bits, NearestIndex(image_->Palette, b, g, r));
}

void TBitmap::Fill(TColor color) {
    Unshare();
    FillImage(*image_, color);
    Changed();
}

TBitmap::TRows24 TBitmap::Rows24(std::unique_ptr<std::uint8_t[]>& scratch) const {
    const TBitmapImage& image = *image_;
    if (image.Format == TPixelFormat::pf24bit) {
        return {image.Bits.data(), image.Stride};
    }
    const auto stride = static_cast<std::ptrdiff_t>(BmpStride(image.Width, 24));
    const std::size_t used = static_cast<std::size_t>(image.Width) * 3;
    try {
        // Left uninitialised: every byte is written below. One spare byte takes
        // the overrun of the 4-byte stores of the 32-bit conversion.
        scratch.reset(new std::uint8_t[static_cast<std::size_t>(stride) *
                                           static_cast<std::size_t>(image.Height) +
                                       1]);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
    for (std::int32_t r = 0; r < image.Height; ++r) {
        const std::uint8_t* in = image.Bits.data() + image.Stride * r;
        std::uint8_t* out = scratch.get() + stride * r;
        if (BitsPerPixel(image.Format) == 32) {
            // Four bytes at a time; each store's fourth byte is overwritten by the
            // next pixel (or lands in the padding, the next row or the spare byte).
            for (std::int32_t x = 0; x < image.Width; ++x) {
                std::memcpy(out + 3 * static_cast<std::ptrdiff_t>(x),
                            in + 4 * static_cast<std::ptrdiff_t>(x), 4);
            }
        } else {
            RowToBGR(image, in, out);
        }
        std::memset(out + used, 0, static_cast<std::size_t>(stride) - used);
    }
    return {scratch.get(), stride};
}

void TBitmap::WriteBmp(TStream& stream) const {
    const TBitmapImage& image = *image_;
    const int bits = BitsPerPixel();
    const auto paletteBytes = static_cast<std::uint32_t>(image.Palette.size() * 4);
    const auto imageBytes = static_cast<std::uint32_t>(image.Bits.size());

    std::vector<std::uint8_t> headers(kBmpFileHeaderSize + kBmpInfoHeaderSize + paletteBytes);
    TBitmapFileHeader file;
    file.bfOffBits = static_cast<std::uint32_t>(headers.size());
    file.bfSize = file.bfOffBits + imageBytes;
    file.Write(headers.data());
    TBitmapInfoHeader info;
    info.biWidth = image.Width;
    info.biHeight = image.Height;
    info.biBitCount = static_cast<std::uint16_t>(bits);
    info.biSizeImage = imageBytes;
    info.Write(headers.data() + kBmpFileHeaderSize);
    std::uint8_t* quad = headers.data() + kBmpFileHeaderSize + kBmpInfoHeaderSize;
    for (const TRGBQuad& q : image.Palette) {
        quad[0] = q.Blue;
        quad[1] = q.Green;
        quad[2] = q.Red;
        quad[3] = 0;
        quad += 4;
    }
    stream.WriteBuffer(headers.data(), headers.size());
    stream.WriteBuffer(image.Bits.data(), image.Bits.size());
}

void TBitmap::LoadFromStream(TStream& stream) {
    const std::int64_t start = stream.Position();
    const std::int64_t available = stream.Size() - start;
    if (available < 2) {
        FailInvalid("the data is too short for a BMP file");
    }
    std::uint8_t header[kBmpFileHeaderSize + kBmpInfoHeaderSize] = {};
    const std::size_t got = stream.Read(header, std::min<std::int64_t>(available, sizeof header));
    if (header[0] != 'B' || header[1] != 'M') {
        FailInvalid("not a BMP file");
    }
    if (got < kBmpFileHeaderSize + 4) {
        FailInvalid("the file is truncated");
    }
    const TBitmapFileHeader file = TBitmapFileHeader::Read(header);
    const std::uint32_t infoSize = GetLE32(header + kBmpFileHeaderSize);
    if (infoSize < kBmpInfoHeaderSize || infoSize > 124) {
        FailInvalid("unsupported header size " + std::to_string(infoSize));
    }
    if (got < sizeof header) {
        FailInvalid("the file is truncated");
    }
    const TBitmapInfoHeader info = TBitmapInfoHeader::Read(header + kBmpFileHeaderSize);

    const int bits = info.biBitCount;
    TPixelFormat format;
    switch (bits) {
    case 1:
        format = TPixelFormat::pf1bit;
        break;
    case 4:
        format = TPixelFormat::pf4bit;
        break;
    case 8:
        format = TPixelFormat::pf8bit;
        break;
    case 24:
        format = TPixelFormat::pf24bit;
        break;
    case 32:
        format = TPixelFormat::pf32bit;
        break;
    default:
        FailInvalid("unsupported bits per pixel " + std::to_string(bits));
    }

    // Uncompressed rows only; 32-bit rows may also be described by the standard
    // blue, green, red channel masks.
    std::int64_t paletteOffset = kBmpFileHeaderSize + infoSize;
    if (info.biCompression == 3 && bits == 32) {
        std::uint8_t masks[12];
        const std::int64_t maskOffset = kBmpFileHeaderSize + kBmpInfoHeaderSize;
        if (available < maskOffset + 12) {
            FailInvalid("the file is truncated");
        }
        stream.SetPosition(start + maskOffset);
        stream.ReadBuffer(masks, sizeof masks);
        if (GetLE32(masks) != 0x00FF0000 || GetLE32(masks + 4) != 0x0000FF00 ||
            GetLE32(masks + 8) != 0x000000FF) {
            FailInvalid("unsupported channel masks");
        }
        if (infoSize == kBmpInfoHeaderSize) {
            paletteOffset += 12;
        }
    } else if (info.biCompression != 0) {
        FailInvalid("unsupported compression " + std::to_string(info.biCompression));
    }

    const std::int64_t width = info.biWidth;
    const std::int64_t height = info.biHeight < 0 ? -static_cast<std::int64_t>(info.biHeight)
                                                  : static_cast<std::int64_t>(info.biHeight);
    if (width <= 0 || height == 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
        width * height > (std::int64_t{1} << 28)) {
        FailInvalid("unsupported dimensions " + std::to_string(info.biWidth) + " x " +
                    std::to_string(info.biHeight));
    }

    std::vector<TRGBQuad> palette;
    if (bits <= 8) {
        const std::uint32_t colors = info.biClrUsed == 0 ? (1u << bits) : info.biClrUsed;
        if (colors > (1u << bits)) {
            FailInvalid("the colour count " + std::to_string(colors) + " is too large");
        }
        std::vector<std::uint8_t> quads(colors * 4);
        if (available < paletteOffset + static_cast<std::int64_t>(quads.size())) {
            FailInvalid("the file is truncated");
        }
        stream.SetPosition(start + paletteOffset);
        stream.ReadBuffer(quads.data(), quads.size());
        palette.resize(std::size_t{1} << bits);
        for (std::uint32_t i = 0; i < colors; ++i) {
            palette[i] = {quads[4 * i], quads[4 * i + 1], quads[4 * i + 2], 0};
        }
    }

    const std::int64_t stride = BmpStride(width, bits);
    if (file.bfOffBits < kBmpFileHeaderSize + infoSize ||
        available < static_cast<std::int64_t>(file.bfOffBits) + stride * height) {
        FailInvalid(file.bfOffBits < kBmpFileHeaderSize + infoSize
                        ? "the pixel data overlaps the headers"
                        : "the file is truncated");
    }

    TSharedRef<TBitmapImage> loaded(
        NewImage(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), format));
    if (!palette.empty()) {
        loaded->Palette = std::move(palette);
    }
    stream.SetPosition(start + file.bfOffBits);
    if (info.biHeight > 0) {
        stream.ReadBuffer(loaded->Bits.data(), loaded->Bits.size());
    } else {
        for (std::int64_t r = height - 1; r >= 0; --r) {
            stream.ReadBuffer(loaded->Bits.data() + stride * r, static_cast<std::size_t>(stride));
        }
    }
    image_ = std::move(loaded);
    monochrome_ = false;
    Changed();
}

void TBitmap::Draw(TBitmap& canvas, std::int32_t x, std::int32_t y) const {
    for (std::int32_t row = 0; row < Height(); ++row) {
        for (std::int32_t column = 0; column < Width(); ++column) {
            canvas.SetPixel(x + column, y + row, Pixel(column, row));
        }
    }
}

} // namespace platform
