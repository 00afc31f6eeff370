// Reading the pictures bmp2gif accepts: BMP files (1, 4, 8, 24 or 32 bits per
// pixel, uncompressed, rows bottom-up or top-down) and binary PPM files (P6,
// maxval 255).
#pragma once

#include "platform/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tools {

// Anything else fails with EInvalidGraphic, its message one line naming the fault.
std::unique_ptr<platform::TBitmap> ReadImage(const std::uint8_t* data, std::size_t size);

// Reads the file at path; a file that cannot be opened fails with EFOpenError.
std::unique_ptr<platform::TBitmap> ReadImageFile(const std::string& path);

} // namespace tools
