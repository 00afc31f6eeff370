#include "gif/ReduceBitmap.h"

#include "platform/Exceptions.h"
#include "platform/Messages.h"

#include <vector>

namespace gif {

using platform::TPixelFormat;

std::unique_ptr<platform::TMemoryStream> ReduceBitmapToDIB(const platform::TBitmap& bitmap,
                                                           TPixelFormat targetFormat,
                                                           TReductionMethod method) {
    if (bitmap.Empty()) {
        throw platform::EInvalidGraphic(platform::SInvalidBitmap);
    }
    auto stream = std::make_unique<platform::TMemoryStream>();
    if (bitmap.PixelFormat() == targetFormat && method != rmGrayLevels) {
        bitmap.WriteBmp(*stream);
        stream->SetPosition(0);
        return stream;
    }
    if (targetFormat == TPixelFormat::pf1bit || targetFormat == TPixelFormat::pf4bit) {
        // The conversion the bitmap itself offers: nearest colours of the
        // format's default palette, rows written as a BMP file image.
        platform::TBitmap converted;
        converted.Assign(&bitmap);
        converted.SetPixelFormat(targetFormat);
        converted.WriteBmp(*stream);
        stream->SetPosition(0);
        return stream;
    }
    if (targetFormat != TPixelFormat::pf8bit) {
        throw platform::EInvalidGraphicOperation("Функция не реализована");
    }
    std::unique_ptr<std::uint8_t[]> scratch;
    const platform::TBitmap::TRows24 rows = bitmap.Rows24(scratch);
    return ReduceRowsToDIB8(rows.FirstStoredRow, rows.StoredStride, bitmap.Width(), bitmap.Height(),
                            method);
}

} // namespace gif
