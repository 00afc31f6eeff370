// A device-independent bitmap: pixel rows in the BMP layout (bottom row stored
// first, each row a whole number of 32-bit words), a palette for the indexed
// formats, and the monochrome and transparency settings.
//
// The pixels live in a reference-counted image that bitmaps assigned from one
// another share; a bitmap copies them only before it changes them (ScanLine for
// writing, SetSize, SetPixelFormat, SetPalette, ...). A new bitmap is empty and
// 24-bit.
#pragma once

#include "platform/Graphic.h"
#include "platform/SharedImage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// pfDevice stands for the screen's own depth: 32 bits, blue, green, red, unused.
enum class TPixelFormat : std::uint8_t {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};

struct TRGBQuad {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    std::uint8_t Reserved = 0;
    bool operator==(const TRGBQuad&) const = default;
};

// The transparent colour of a bitmap that has none set: its bottom-left pixel.
inline constexpr TColor clDefault = 0x20000000;

// The largest width or height LoadFromStream accepts.
inline constexpr std::int32_t kMaxBitmapSide = 65535;

// The shared pixels of bitmaps; see TBitmap.
class TBitmapImage : public TSharedImage {
public:
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    TPixelFormat Format = TPixelFormat::pf24bit;
    std::ptrdiff_t Stride = 0;
    std::vector<std::uint8_t> Bits; // Height stored rows, bottom row first
    std::vector<TRGBQuad> Palette;  // 2^bits entries for the indexed formats, else empty
};

class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(std::int32_t width, std::int32_t height, TPixelFormat format = TPixelFormat::pf24bit);
    ~TBitmap() override;

    const char* ClassName() const override { return "TBitmap"; }

    // From another bitmap: shares its pixels and copies its settings. From no
    // source: the bitmap becomes empty.
    void Assign(const TPersistent* source) override;

    TPixelFormat PixelFormat() const { return image_->Format; }
    // Converts the pixels to the new format; indexed formats get a default
    // palette and each pixel the nearest colour in it. 15-, 16-bit and custom
    // formats are not supported (EInvalidGraphicOperation).
    void SetPixelFormat(TPixelFormat format);
    // 1, 4, 8, 24 or 32; 0 for the formats this bitmap cannot hold.
    static int BitsPerPixel(TPixelFormat format);
    int BitsPerPixel() const { return BitsPerPixel(image_->Format); }

    // Keeps the overlapping top-left part; new pixels get the brush colour.
    void SetSize(std::int32_t width, std::int32_t height);

    const std::vector<TRGBQuad>& Palette() const { return image_->Palette; }
    // Indexed formats only: the entries replace the palette's first ones.
    void SetPalette(const std::vector<TRGBQuad>& palette);

    // A monochrome bitmap is 1-bit black and white; setting the flag converts.
    bool Monochrome() const { return monochrome_; }
    void SetMonochrome(bool value);

    // The colour shown transparent when Transparent is set; clDefault (the
    // initial value) stands for the bottom-left pixel's colour.
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color) { transparentColor_ = color; }

    // The colour new pixels get when the bitmap grows.
    TColor BrushColor() const { return brushColor_; }
    void SetBrushColor(TColor color) { brushColor_ = color; }

    // Picture row y (0 = top), BitsPerPixel() bits per pixel as the BMP layout
    // packs them. The writable form makes the pixels this bitmap's own first.
    std::uint8_t* ScanLine(std::int32_t y);
    const std::uint8_t* ScanLine(std::int32_t y) const;
    std::ptrdiff_t Stride() const { return image_->Stride; }
    // The stored rows, bottom row first.
    const std::uint8_t* Bits() const { return image_->Bits.data(); }

    TColor Pixel(std::int32_t x, std::int32_t y) const;
    void SetPixel(std::int32_t x, std::int32_t y, TColor color);
    void Fill(TColor color);

    // The picture as 24-bit rows (blue, green, red) in the BMP layout, bottom row
    // first: a view of the bitmap's own pixels when it is 24-bit, otherwise a
    // conversion into scratch (replaced by a buffer of the right size).
    struct TRows24 {
        const std::uint8_t* FirstStoredRow = nullptr;
        std::ptrdiff_t StoredStride = 0;
    };
    TRows24 Rows24(std::unique_ptr<std::uint8_t[]>& scratch) const;

    // The BMP file image: file header, 40-byte information header, for indexed
    // formats a palette of 2^bits entries, then the stored rows.
    void WriteBmp(TStream& stream) const;
    void SaveToStream(TStream& stream) override { WriteBmp(stream); }
    // Reads a BMP file image (1, 4, 8, 24 or 32 bits per pixel, uncompressed,
    // rows bottom-up or top-down). Anything else fails with EInvalidGraphic
    // "Bitmap image is not valid: <reason>" and leaves the bitmap unchanged.
    void LoadFromStream(TStream& stream) override;

    void Draw(TBitmap& canvas, std::int32_t x, std::int32_t y) const override;

protected:
    bool GetEmpty() const override { return image_->Width == 0 || image_->Height == 0; }
    std::int32_t GetWidth() const override { return image_->Width; }
    std::int32_t GetHeight() const override { return image_->Height; }
    void DoSetWidth(std::int32_t value) override { SetSize(value, image_->Height); }
    void DoSetHeight(std::int32_t value) override { SetSize(image_->Width, value); }

private:
    void Unshare();

    TSharedRef<TBitmapImage> image_;
    bool monochrome_ = false;
    TColor transparentColor_ = clDefault;
    TColor brushColor_ = clWhite;
};

// The palette a new indexed bitmap of bitsPerPixel (1, 4 or 8) gets.
std::vector<TRGBQuad> DefaultPalette(int bitsPerPixel);

} // namespace platform
