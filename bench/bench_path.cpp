// The whole path from a true-colour bitmap to the GIF bytes in memory, as the
// Save command takes it (Assign, then SaveToStream), against giflib doing the
// same job for the chart-like picture: exact-colour reduction of the 24-bit
// rows to at most 256 colours and EGifPutLine into memory.
//
// `bench_path --once chart|chart32|photo|giflib` runs that path three times and
// exits, for counting instructions: valgrind --tool=callgrind
// --toggle-collect='*RunPath*' --toggle-collect='*RunGiflib*' bench_path --once chart
// (bench/callgrind_stages.sh does that and prints instructions per pixel for the
// whole path, the colour reduction and the LZW stage).
#include "SyntheticPictures.h"

#include "gif/GifImage.h"
#include "platform/Bitmap.h"
#include "platform/Streams.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::TBitmap;
using platform::TPixelFormat;

std::unique_ptr<TBitmap> ToBitmap(const bench::TRgbPicture& picture, TPixelFormat format) {
    auto bitmap = std::make_unique<TBitmap>(0, 0, format);
    bitmap->SetSize(picture.Width, picture.Height);
    for (int y = 0; y < picture.Height; ++y) {
        const std::uint8_t* source =
            picture.Rows.data() + static_cast<std::size_t>(picture.Height - 1 - y) * picture.Stride;
        std::uint8_t* row = bitmap->ScanLine(y);
        if (format == TPixelFormat::pf24bit) {
            std::memcpy(row, source, static_cast<std::size_t>(picture.Width) * 3);
        } else {
            for (int x = 0; x < picture.Width; ++x) {
                std::memcpy(row + 4 * x, source + 3 * x, 3);
                row[4 * x + 3] = 0;
            }
        }
    }
    return bitmap;
}

const bench::TRgbPicture& ChartPicture() {
    static const bench::TRgbPicture picture = bench::ChartLikePicture();
    return picture;
}
const bench::TRgbPicture& PhotoPicture() {
    static const bench::TRgbPicture picture = bench::PhotoLikePicture();
    return picture;
}

// One Save: the bitmap becomes the image's frame and the file is written.
[[gnu::noinline]] void RunPath(gif::TGIFImage& image, const TBitmap& bitmap,
                               platform::TMemoryStream& out) {
    image.Assign(&bitmap);
    out.SetSize(0);
    image.SaveToStream(out);
}

int WriteToVector(GifFileType* file, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(file->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// giflib's way to the same file: an exact-colour table (open addressing on the
// 24-bit colour, with the last colour remembered), one index row at a time.
struct TGiflibWork {
    std::vector<std::uint8_t> Out;
    std::vector<std::uint8_t> Line;
    std::vector<std::uint32_t> Keys;
    std::vector<std::uint8_t> Values;
};

[[gnu::noinline]] bool RunGiflib(const bench::TRgbPicture& picture, TGiflibWork& work) {
    constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    constexpr std::size_t kSlots = 4096;
    work.Out.clear();
    work.Keys.assign(kSlots, kEmpty);
    work.Values.resize(kSlots);
    work.Line.resize(static_cast<std::size_t>(picture.Width) * picture.Height);
    GifColorType colours[256] = {};
    int colourCount = 0;
    for (int y = 0; y < picture.Height; ++y) {
        const std::uint8_t* p =
            picture.Rows.data() + static_cast<std::size_t>(picture.Height - 1 - y) * picture.Stride;
        std::uint8_t* line = work.Line.data() + static_cast<std::size_t>(y) * picture.Width;
        std::uint32_t lastKey = kEmpty;
        std::uint8_t lastIndex = 0;
        for (int x = 0; x < picture.Width; ++x, p += 3) {
            const std::uint32_t key = p[0] | (p[1] << 8) | (p[2] << 16);
            if (key != lastKey) {
                std::size_t slot = (key * 2654435761u) >> 20;
                while (work.Keys[slot] != key && work.Keys[slot] != kEmpty) {
                    slot = (slot + 1) & (kSlots - 1);
                }
                if (work.Keys[slot] == kEmpty) {
                    if (colourCount == 256) {
                        return false; // more colours than a GIF frame holds
                    }
                    work.Keys[slot] = key;
                    work.Values[slot] = static_cast<std::uint8_t>(colourCount);
                    colours[colourCount++] = {p[2], p[1], p[0]};
                }
                lastKey = key;
                lastIndex = work.Values[slot];
            }
            line[x] = lastIndex;
        }
    }
    int bits = 1;
    while ((1 << bits) < colourCount) {
        ++bits;
    }
    int error = 0;
    GifFileType* gif = EGifOpen(&work.Out, WriteToVector, &error);
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours);
    bool ok = gif != nullptr && map != nullptr &&
              EGifPutScreenDesc(gif, picture.Width, picture.Height, bits, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, picture.Width, picture.Height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < picture.Height; ++y) {
        ok = EGifPutLine(gif, work.Line.data() + static_cast<std::size_t>(y) * picture.Width,
                         picture.Width) == GIF_OK;
    }
    if (gif != nullptr) {
        EGifCloseFile(gif, &error);
    }
    GifFreeMapObject(map);
    return ok;
}

void SetRate(benchmark::State& state, const bench::TRgbPicture& picture, std::size_t bytes) {
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(picture.Width) * picture.Height / 1e6,
                           benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes"] = static_cast<double>(bytes);
}

void RunPathBenchmark(benchmark::State& state, const bench::TRgbPicture& picture,
                      TPixelFormat format) {
    const auto bitmap = ToBitmap(picture, format);
    gif::TGIFImage image;
    platform::TMemoryStream out;
    for (auto _ : state) {
        RunPath(image, *bitmap, out);
        benchmark::DoNotOptimize(out.Memory());
    }
    SetRate(state, picture, out.ByteSize());
}

void BM_Path_Chart24(benchmark::State& state) {
    RunPathBenchmark(state, ChartPicture(), TPixelFormat::pf24bit);
}
void BM_Path_Chart32(benchmark::State& state) {
    RunPathBenchmark(state, ChartPicture(), TPixelFormat::pf32bit);
}
void BM_Path_Photo24(benchmark::State& state) {
    RunPathBenchmark(state, PhotoPicture(), TPixelFormat::pf24bit);
}
void BM_Giflib_Chart24(benchmark::State& state) {
    TGiflibWork work;
    for (auto _ : state) {
        if (!RunGiflib(ChartPicture(), work)) {
            state.SkipWithError("giflib path failed");
            break;
        }
        benchmark::DoNotOptimize(work.Out.data());
    }
    SetRate(state, ChartPicture(), work.Out.size());
}

BENCHMARK(BM_Path_Chart24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Path_Chart32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Path_Photo24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Giflib_Chart24)->Unit(benchmark::kMillisecond);

int RunOnce(const std::string& what) {
    constexpr int kRuns = 3;
    if (what == "giflib") {
        TGiflibWork work;
        for (int i = 0; i < kRuns; ++i) {
            if (!RunGiflib(ChartPicture(), work)) {
                return 1;
            }
        }
        std::printf("%zu bytes\n", work.Out.size());
        return 0;
    }
    const bench::TRgbPicture& picture = what == "photo" ? PhotoPicture() : ChartPicture();
    const auto bitmap =
        ToBitmap(picture, what == "chart32" ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
    gif::TGIFImage image;
    platform::TMemoryStream out;
    for (int i = 0; i < kRuns; ++i) {
        RunPath(image, *bitmap, out);
    }
    std::printf("%zu bytes\n", out.ByteSize());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--once") {
        return RunOnce(argv[2]);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
