// LZW compression of indexed pixel rows into GIF image data: the minimum code
// size byte, the variable-width code stream in data sub-blocks, the terminator.
#pragma once

#include "platform/BmpLayout.h"
#include "platform/Graphic.h"
#include "platform/Streams.h"

#include <cstdint>
#include <functional>
#include <string>

namespace gif {

// The stages of the graphics framework's progress notification.
using platform::TProgressStage;

// Receives (starting, 0), then (running, percent) after every row, then
// (ending, 100) — or (ending, 0, message) when an exception ends the encoding.
// May raise platform::EAbort to cancel the encoding.
using TLzwProgress =
    std::function<void(TProgressStage stage, std::uint8_t percentDone, const std::string& message)>;

// Appends one complete GIF image data block (minimum code size byte, sub-blocks,
// terminator) at destination's position. header: biWidth, biHeight (> 0, rows
// bottom-up), biBitCount 1, 4 or 8. rows: the first stored row (the picture's
// bottom row); stride = BmpStride(width, bits). progress may be empty.
// Exceptions from the destination or from progress leave after the ending report.
void LzwEncodeBits(platform::TStream& destination, const platform::TBitmapInfoHeader& header,
                   bool interlaced, const std::uint8_t* rows, const TLzwProgress& progress);

// The picture row that follows row in GIF interlaced order (rows 0, 8, 16, ...;
// then 4, 12, ...; then 2, 6, ...; then 1, 3, ...). pass (0 to 3) is updated in
// place; a result of height or more ends the picture.
int NextInterlacedRow(int row, int height, int& pass);

} // namespace gif
