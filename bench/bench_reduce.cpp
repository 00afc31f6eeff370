// The popularity reduction of the synthetic pictures to the 8-bit DIB stream.
#include "SyntheticPictures.h"

#include "gif/ColorReduction.h"

#include <benchmark/benchmark.h>

#include <unordered_set>

namespace {

const bench::TRgbPicture& Chart() {
    static const bench::TRgbPicture picture = bench::ChartLikePicture();
    return picture;
}
const bench::TRgbPicture& Photo() {
    static const bench::TRgbPicture picture = bench::PhotoLikePicture();
    return picture;
}

double DistinctColours(const bench::TRgbPicture& picture) {
    std::unordered_set<std::uint32_t> colours;
    for (int r = 0; r < picture.Height; ++r) {
        const std::uint8_t* p = picture.Rows.data() + static_cast<std::size_t>(r) * picture.Stride;
        for (int x = 0; x < picture.Width; ++x, p += 3) {
            colours.insert(static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16));
        }
    }
    return static_cast<double>(colours.size());
}

void Run(benchmark::State& state, const bench::TRgbPicture& picture, gif::TReductionMethod method) {
    for (auto _ : state) {
        auto dib =
            gif::ReduceRowsToDIB8(picture.Rows.data(), static_cast<std::ptrdiff_t>(picture.Stride),
                                  picture.Width, picture.Height, method);
        benchmark::DoNotOptimize(dib->Memory());
    }
    const double pixels = static_cast<double>(picture.Width) * picture.Height;
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["colours"] = DistinctColours(picture);
}

void BM_ReducePopularity_Chart(benchmark::State& state) {
    Run(state, Chart(), gif::rmPopularity);
}
void BM_ReducePopularity_Photo(benchmark::State& state) {
    Run(state, Photo(), gif::rmPopularity);
}
void BM_ReduceGrayLevels_Photo(benchmark::State& state) {
    Run(state, Photo(), gif::rmGrayLevels);
}

BENCHMARK(BM_ReducePopularity_Chart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReducePopularity_Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceGrayLevels_Photo)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
