// The LZW stage alone: our encoder against giflib's EGifPutLine on the same
// 8-bit indexed pixels (the popularity reduction of the synthetic pictures).
#include "SyntheticPictures.h"

#include "gif/ColorReduction.h"
#include "gif/Lzw.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

struct TIndexedPicture {
    platform::TBitmapInfoHeader Header;
    std::vector<std::uint8_t> StoredRows; // bottom-up, stride = width rounded up to 4
    std::vector<std::uint8_t> TopDown;    // width bytes per row, top row first
    std::vector<std::uint8_t> Palette;    // 256 x (red, green, blue)
};

TIndexedPicture Indexed(const bench::TRgbPicture& rgb) {
    auto dib = gif::ReduceRowsToDIB8(rgb.Rows.data(), static_cast<std::ptrdiff_t>(rgb.Stride),
                                     rgb.Width, rgb.Height, gif::rmPopularity);
    TIndexedPicture picture;
    picture.Header = platform::TBitmapInfoHeader::Read(dib->Memory() + 14);
    picture.StoredRows.assign(dib->Memory() + gif::kDib8HeaderSize,
                              dib->Memory() + dib->ByteSize());
    const std::size_t stride = (static_cast<std::size_t>(rgb.Width) + 3) & ~std::size_t{3};
    for (int y = 0; y < rgb.Height; ++y) {
        const std::uint8_t* row =
            picture.StoredRows.data() + static_cast<std::size_t>(rgb.Height - 1 - y) * stride;
        picture.TopDown.insert(picture.TopDown.end(), row, row + rgb.Width);
    }
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t* entry = dib->Memory() + 54 + i * 4;
        picture.Palette.insert(picture.Palette.end(), {entry[2], entry[1], entry[0]});
    }
    return picture;
}

const TIndexedPicture& Chart() {
    static const TIndexedPicture picture = Indexed(bench::ChartLikePicture());
    return picture;
}
const TIndexedPicture& Photo() {
    static const TIndexedPicture picture = Indexed(bench::PhotoLikePicture());
    return picture;
}

void SetCounters(benchmark::State& state, const TIndexedPicture& picture, std::size_t bytes) {
    const double pixels = static_cast<double>(picture.Header.biWidth) * picture.Header.biHeight;
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes"] = static_cast<double>(bytes);
}

void RunOurs(benchmark::State& state, const TIndexedPicture& picture) {
    platform::TMemoryStream out;
    out.Reserve(picture.StoredRows.size());
    for (auto _ : state) {
        out.SetSize(0);
        gif::LzwEncodeBits(out, picture.Header, false, picture.StoredRows.data(), {});
        benchmark::DoNotOptimize(out.Memory());
    }
    SetCounters(state, picture, out.ByteSize());
}

int WriteToVector(GifFileType* file, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(file->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// A whole GIF file through giflib; its fixed part (headers, colour table) is
// small beside the image data.
void RunGiflib(benchmark::State& state, const TIndexedPicture& picture) {
    std::vector<std::uint8_t> out;
    out.reserve(picture.StoredRows.size() + 4096);
    std::vector<GifColorType> colours(256);
    std::memcpy(colours.data(), picture.Palette.data(), 256 * 3);
    std::vector<std::uint8_t> line(picture.TopDown.size());
    const int width = picture.Header.biWidth;
    const int height = picture.Header.biHeight;
    for (auto _ : state) {
        out.clear();
        std::memcpy(line.data(), picture.TopDown.data(),
                    line.size()); // EGifPutLine may mask its input
        int error = 0;
        GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
        ColorMapObject* map = GifMakeMapObject(256, colours.data());
        if (gif == nullptr || map == nullptr ||
            EGifPutScreenDesc(gif, width, height, 8, 0, map) != GIF_OK ||
            EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_OK) {
            state.SkipWithError("giflib setup failed");
            break;
        }
        for (int y = 0; y < height; ++y) {
            if (EGifPutLine(gif,
                            line.data() +
                                static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                            width) != GIF_OK) {
                state.SkipWithError("EGifPutLine failed");
                break;
            }
        }
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
        benchmark::DoNotOptimize(out.data());
    }
    SetCounters(state, picture, out.size());
}

void BM_LzwOurs_Chart(benchmark::State& state) {
    RunOurs(state, Chart());
}
void BM_LzwGiflib_Chart(benchmark::State& state) {
    RunGiflib(state, Chart());
}
void BM_LzwOurs_Photo(benchmark::State& state) {
    RunOurs(state, Photo());
}
void BM_LzwGiflib_Photo(benchmark::State& state) {
    RunGiflib(state, Photo());
}

BENCHMARK(BM_LzwOurs_Chart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwGiflib_Chart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwOurs_Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwGiflib_Photo)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
