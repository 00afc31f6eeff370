#include "gif/ColorTable.h"

#include "gif/GifMessages.h"

#include <algorithm>

namespace gif {

std::int32_t IndexOfColor(const ColorTable& table, platform::TColor color) {
    if (color == platform::clNone) {
        return -1;
    }
    const platform::TColor rgb = platform::ColorToRGB(color);
    const std::int32_t count = std::clamp(table.EntryCount, 0, 256);
    for (std::int32_t i = 0; i < count; ++i) {
        const TGIFColor& e = table.Entries[i];
        if (platform::RGBColor(e.Red, e.Green, e.Blue) == rgb) {
            return i;
        }
    }
    return -1;
}

int BitsForColorCount(std::int32_t count) {
    for (int bits = 1; bits <= 8; ++bits) {
        if (count == (1 << bits)) {
            return bits;
        }
    }
    RaiseGifError(SGIFBadColorCount);
}

void ColorTableFromQuads(ColorTable& table, const std::uint8_t* quads, std::int32_t n) {
    table = ColorTable{};
    table.EntryCount = std::clamp(n, 0, 256);
    for (std::int32_t i = 0; i < table.EntryCount; ++i) {
        table.Entries[i] = {quads[4 * i + 2], quads[4 * i + 1], quads[4 * i]};
    }
}

} // namespace gif
