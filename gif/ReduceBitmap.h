// Any bitmap to the DIB stream of a palette bitmap that the frame import reads.
#pragma once

#include "gif/ColorReduction.h"
#include "platform/Bitmap.h"
#include "platform/Streams.h"

#include <memory>

namespace gif {

// Returns a new stream at position 0 holding a BMP file image of targetFormat
// (pf1bit, pf4bit or pf8bit):
// - an empty bitmap fails with EInvalidGraphic "Bitmap image is not valid";
// - a bitmap already of that format (unless method is rmGrayLevels) is written
//   as it stands, palette included;
// - any other target fails with EInvalidGraphicOperation "Функция не реализована";
// - 1 and 4 bits take each pixel's nearest colour of the default palette
//   (black and white; the 16 standard colours);
// - 8 bits reduce the picture's 24-bit rows by method.
std::unique_ptr<platform::TMemoryStream> ReduceBitmapToDIB(const platform::TBitmap& bitmap,
                                                           platform::TPixelFormat targetFormat,
                                                           TReductionMethod method);

} // namespace gif
