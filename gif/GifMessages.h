// The GIF classes' numbered messages, one table.
#pragma once

#include <string>

namespace gif {

enum TGifMessage : int {
    SGIFUnknownVersion = 61092,
    SGIFEncodeError = 61093,
    SGIFBadData = 61094,
    SGIFCodeSizeRange = 61095,
    SGIFBadColorCount = 61096,
    SGIFUnknownExtension = 61097,
    SGIFNoData = 61098,
    SGIFCannotResize = 61099,
    SGIFDescription = 61100,
};

// The text of message id (UTF-8); empty for an id outside the table. 61097 holds
// a "%.2x" for the extension label.
const char* GifMessage(int id);

// Raises EInvalidGraphicOperation carrying the text of message id.
[[noreturn]] void RaiseGifError(int id);

} // namespace gif
