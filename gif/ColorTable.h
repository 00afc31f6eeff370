// GIF colour tables and the operations on them.
#pragma once

#include "platform/Graphic.h"

#include <cstdint>

namespace gif {

struct TGIFColor {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    bool operator==(const TGIFColor&) const = default;
};

// EntryCount valid entries (0 = no table); entries at and after EntryCount are
// zero once the table has been filled. Always copied whole.
struct ColorTable {
    std::int32_t EntryCount = 0;
    TGIFColor Entries[256] = {};
};

// The first index below EntryCount whose entry equals the colour (a system
// colour resolved first); -1 for none and for the none colour.
std::int32_t IndexOfColor(const ColorTable& table, platform::TColor color);

// 1 for 2 colours up to 8 for 256; any other count fails with message 61096.
int BitsForColorCount(std::int32_t count);

// Clears table and fills min(256, n) entries from 4-byte palette entries (blue,
// green, red, reserved).
void ColorTableFromQuads(ColorTable& table, const std::uint8_t* quads, std::int32_t n);

} // namespace gif
