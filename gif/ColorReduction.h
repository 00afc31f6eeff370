// Reduction of a 24-bit picture to an 8-bit palette picture in the BMP file
// layout (the DIB stream that the bitmap import reads).
#pragma once

#include "platform/Streams.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace gif {

enum TReductionMethod : std::uint8_t {
    // Exact colour counts; the up to 256 most frequent colours get a slot each
    // (ties to the colour met first), every other colour its nearest slot.
    rmPopularity = 0,
    // Median cut over a 16 x 16 x 16 cell histogram into at most 256 boxes.
    rmMedianCut,
    // 7 red x 8 green x 4 blue evenly spaced levels.
    rmFixedPalette224,
    // 6 x 6 x 6 evenly spaced levels.
    rmFixedPalette216,
    // Three 64-level channel ramps; each pixel keeps one channel.
    rmChannelRamps,
    // 256 grey levels.
    rmGrayLevels
};

// The method used for every frame that is not forced to grey levels.
extern TReductionMethod DefaultReductionMethod; // rmPopularity

// Size of the headers of the result: file header, information header and a
// colour table of 256 entries (blue, green, red, 0).
constexpr std::size_t kDib8HeaderSize = 14 + 40 + 256 * 4;

// Reduces a 24-bit picture to the 8-bit DIB stream (1078-byte headers with a
// 256-entry colour table, then bottom-up rows of stride8 = width rounded up to
// 4, padding zero) and returns it at position 0.
// firstStoredRow: the picture's bottom row of width * 3 bytes blue, green, red;
// storedStride is the byte distance from one stored row to the next (upward in
// the picture; may be negative for top-down storage). width, height >= 1. The
// input is not modified.
// Failures: EInvalidGraphic "Bitmap image is not valid" for an empty size,
// EOutOfMemory "Out of memory" for work memory, EStreamError from the stream.
std::unique_ptr<platform::TMemoryStream> ReduceRowsToDIB8(const std::uint8_t* firstStoredRow,
                                                          std::ptrdiff_t storedStride,
                                                          std::int32_t width, std::int32_t height,
                                                          TReductionMethod method);

} // namespace gif
