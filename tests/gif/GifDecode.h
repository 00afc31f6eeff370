// giflib's reading of a whole GIF file in memory, for the tests and the fuzz
// targets: the output is always checked by an independent decoder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <gif_lib.h>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<std::uint8_t>;

// A decoded GIF: the first image's pixels as 0x00RRGGBB, top row first.
struct TDecoded {
    bool Ok = false;
    std::string Error;
    int ScreenWidth = 0;
    int ScreenHeight = 0;
    int Width = 0;
    int Height = 0;
    int ImageCount = 0;
    std::vector<std::uint32_t> GlobalColors; // 0x00RRGGBB
    std::vector<std::uint32_t> Pixels;
};

inline TDecoded DecodeGif(const Bytes& bytes) {
    struct TSource {
        const Bytes* Data;
        std::size_t Position;
    } source{&bytes, 0};
    auto read = [](GifFileType* file, GifByteType* buffer, int count) -> int {
        auto* s = static_cast<TSource*>(file->UserData);
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(count), s->Data->size() - s->Position);
        std::memcpy(buffer, s->Data->data() + s->Position, n);
        s->Position += n;
        return static_cast<int>(n);
    };
    TDecoded result;
    int error = 0;
    GifFileType* file = DGifOpen(&source, read, &error);
    if (file == nullptr) {
        result.Error = GifErrorString(error);
        return result;
    }
    if (DGifSlurp(file) != GIF_OK || file->ImageCount < 1) {
        result.Error = GifErrorString(file->Error);
        DGifCloseFile(file, &error);
        return result;
    }
    result.ScreenWidth = file->SWidth;
    result.ScreenHeight = file->SHeight;
    result.ImageCount = file->ImageCount;
    if (file->SColorMap != nullptr) {
        for (int i = 0; i < file->SColorMap->ColorCount; ++i) {
            const GifColorType c = file->SColorMap->Colors[i];
            result.GlobalColors.push_back((c.Red << 16) | (c.Green << 8) | c.Blue);
        }
    }
    const SavedImage& image = file->SavedImages[0];
    const ColorMapObject* map =
        image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : file->SColorMap;
    result.Width = image.ImageDesc.Width;
    result.Height = image.ImageDesc.Height;
    const std::size_t count = static_cast<std::size_t>(result.Width) * result.Height;
    for (std::size_t i = 0; i < count; ++i) {
        const int index = image.RasterBits[i];
        if (map == nullptr || index >= map->ColorCount) {
            result.Error = "pixel index outside the colour table";
            DGifCloseFile(file, &error);
            return result;
        }
        const GifColorType c = map->Colors[index];
        result.Pixels.push_back((c.Red << 16) | (c.Green << 8) | c.Blue);
    }
    DGifCloseFile(file, &error);
    result.Ok = true;
    return result;
}

// The palette colour a colour outside the palette is shown as: the entry at
// the smallest squared RGB distance, the lowest one on a tie (0x00RRGGBB).
inline std::uint32_t NearestPaletteColor(const std::vector<std::uint32_t>& palette,
                                         std::uint32_t color) {
    int best = 0x30000;
    std::uint32_t bestColor = 0;
    for (const std::uint32_t entry : palette) {
        const int dr = int(entry >> 16) - int(color >> 16);
        const int dg = int((entry >> 8) & 0xFF) - int((color >> 8) & 0xFF);
        const int db = int(entry & 0xFF) - int(color & 0xFF);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            bestColor = entry;
        }
    }
    return bestColor;
}

} // namespace giftest
