// Arbitrary bytes to bmp2gif's image reader. A file must either read as a
// picture or fail with EInvalidGraphic; a picture that reads must encode.
#include "gif/GifImage.h"
#include "platform/Exceptions.h"
#include "tools/bmp2gif/ImageFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<platform::TBitmap> bitmap;
    try {
        bitmap = tools::ReadImage(data, size);
    } catch (const platform::EInvalidGraphic&) {
        return 0;
    }
    if (std::int64_t{bitmap->Width()} * bitmap->Height() <= (1 << 16)) {
        gif::TGIFImage image;
        image.Assign(bitmap.get());
        platform::TMemoryStream stream;
        image.SaveToStream(stream);
    }
    return 0;
}
