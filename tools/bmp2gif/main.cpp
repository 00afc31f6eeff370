// bmp2gif IN OUT.gif: writes a BMP or binary PPM picture as a GIF file, the way
// the Save command writes a chart: the bitmap is assigned to a TGIFImage, which
// is then saved to the file. Exit status 0 on success; on failure a one-line
// message on standard error, status 1 (2 for wrong arguments), and no file.
#include "gif/GifImage.h"
#include "tools/bmp2gif/ImageFile.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bmp2gif IN OUT.gif\n");
        return 2;
    }
    try {
        const auto bitmap = tools::ReadImageFile(argv[1]);
        gif::TGIFImage image;
        image.Assign(bitmap.get());
        image.SaveToFile(argv[2]);
    } catch (const std::exception& e) {
        std::string message = e.what();
        for (char& c : message) {
            if (c == '\n' || c == '\r') {
                c = ' ';
            }
        }
        std::fprintf(stderr, "bmp2gif: %s: %s\n", argv[1], message.c_str());
        return 1;
    }
    return 0;
}
