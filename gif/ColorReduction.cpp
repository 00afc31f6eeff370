#include "gif/ColorReduction.h"

#include "platform/BmpLayout.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <numeric>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gif {

TReductionMethod DefaultReductionMethod = rmPopularity;

namespace {

constexpr int kPaletteSize = 256;
// The popularity histogram holds at most this many distinct colours; one more
// makes the channel masks coarser.
constexpr std::size_t kHistogramEntries = 2049;

// A colour packed as blue | green << 8 | red << 16, the byte order of a pixel.
inline std::uint32_t ReadPixel(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16);
}
// Calls visit(x, colour) for the pixels of a stored row from left to right.
// All but the last pixel are read with one four-byte load; the last one byte
// by byte, since the row may end right after it.
template <class TVisit>
inline __attribute__((always_inline)) void VisitRow(const std::uint8_t* p, std::int32_t width,
                                                    TVisit&& visit) {
    std::int32_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x + 1 < width; ++x, p += 3) {
            std::uint32_t word;
            std::memcpy(&word, p, sizeof word);
            visit(x, word & 0xFFFFFF);
        }
    }
    for (; x < width; ++x, p += 3) {
        visit(x, ReadPixel(p));
    }
}

// The number of pixels from q on, at most n, that repeat the pixel just before
// q byte for byte. Byte i of the row equals byte i - 3 all along a run of one
// colour, so the bytes are compared many at a time against the same bytes one
// pixel back, without regard to pixel boundaries. Reads only the n pixels and
// the one before them.
inline std::int32_t RepeatCount(const std::uint8_t* q, std::int32_t n) {
    const std::size_t bytes = static_cast<std::size_t>(n) * 3;
    const std::uint8_t* const back = q - 3; // the same bytes one pixel back
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 32 <= bytes; i += 32) {
        const auto load = [](const std::uint8_t* at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        };
        const __m128i low = _mm_cmpeq_epi8(load(q + i), load(back + i));
        const __m128i high = _mm_cmpeq_epi8(load(q + i + 16), load(back + i + 16));
        if (_mm_movemask_epi8(_mm_and_si128(low, high)) != 0xFFFF) {
            const auto equal = static_cast<std::uint32_t>(_mm_movemask_epi8(low)) |
                               (static_cast<std::uint32_t>(_mm_movemask_epi8(high)) << 16);
            i += static_cast<std::size_t>(std::countr_zero(~equal));
            return static_cast<std::int32_t>(i / 3);
        }
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= bytes; i += 8) {
            std::uint64_t a, b;
            std::memcpy(&a, q + i, 8);
            std::memcpy(&b, back + i, 8);
            if (a != b) {
                i += static_cast<std::size_t>(std::countr_zero(a ^ b)) / 8;
                return static_cast<std::int32_t>(i / 3);
            }
        }
    }
    while (i < bytes && q[i] == back[i]) {
        ++i;
    }
    return static_cast<std::int32_t>(i / 3);
}

inline int BlueOf(std::uint32_t c) {
    return static_cast<int>(c & 0xFF);
}
inline int GreenOf(std::uint32_t c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
inline int RedOf(std::uint32_t c) {
    return static_cast<int>(c >> 16);
}

using TColorTable = std::array<std::uint8_t, kPaletteSize * 4>;

void SetSlot(TColorTable& table, int slot, int red, int green, int blue) {
    table[slot * 4] = static_cast<std::uint8_t>(blue);
    table[slot * 4 + 1] = static_cast<std::uint8_t>(green);
    table[slot * 4 + 2] = static_cast<std::uint8_t>(red);
    table[slot * 4 + 3] = 0;
}

// ---------------------------------------------------------------------------
// Exact colour index: numbers the distinct 24-bit colours in the order they are
// first inserted and counts them. Open addressing over a power-of-two slot
// array that is kept from call to call: a slot is live only when it carries the
// current epoch, so starting afresh costs nothing and the pages are touched
// once per thread. A slot holds colour | epoch << 24 in its low half and the
// colour's number in its high half.
class TColorIndex {
public:
    // Empties the index, sized for about expected colours. The size reached
    // before is kept: emptying costs nothing whatever the size, and the next
    // picture is likely to need as many slots as the last one.
    void Start(std::size_t expected = 0) {
        while ((std::size_t{1} << bits_) < expected * 2) {
            ++bits_;
        }
        EnsureSlots();
        NextEpoch();
        colors_.clear();
        counts_.clear();
    }

    std::size_t Size() const { return colors_.size(); }
    const std::vector<std::uint32_t>& Colors() const { return colors_; }
    std::vector<std::uint32_t>& Counts() { return counts_; }
    const std::vector<std::uint32_t>& Counts() const { return counts_; }

    // The number of color, adding it with a count of 0 if it is new.
    inline __attribute__((always_inline)) std::uint32_t Add(std::uint32_t color) {
        const std::uint32_t tag = color | (epoch_ << 24);
        const std::uint32_t mask = (1u << bits_) - 1;
        std::uint32_t slot = SlotOf(color);
        for (;;) {
            const std::uint64_t s = slots_[slot];
            const auto low = static_cast<std::uint32_t>(s);
            if (low == tag) {
                return static_cast<std::uint32_t>(s >> 32);
            }
            if ((low >> 24) != epoch_) {
                break;
            }
            slot = (slot + 1) & mask;
        }
        const auto number = static_cast<std::uint32_t>(colors_.size());
        colors_.push_back(color);
        counts_.push_back(0);
        slots_[slot] = tag | (static_cast<std::uint64_t>(number) << 32);
        if (colors_.size() * 2 > (std::size_t{1} << bits_)) {
            Grow();
        }
        return number;
    }

    // The number of a colour known to be present.
    std::uint32_t Find(std::uint32_t color) const {
        const std::uint32_t tag = color | (epoch_ << 24);
        const std::uint32_t mask = (1u << bits_) - 1;
        std::uint32_t slot = SlotOf(color);
        while (static_cast<std::uint32_t>(slots_[slot]) != tag) {
            slot = (slot + 1) & mask;
        }
        return static_cast<std::uint32_t>(slots_[slot] >> 32);
    }

private:
    static constexpr int kInitialBits = 12;

    // Colours of a picture often form a regular lattice; a multiply alone
    // maps such lattices onto few clusters, so the bits are mixed twice.
    std::uint32_t SlotOf(std::uint32_t color) const {
        std::uint32_t h = color * 0x9E3779B1u;
        h ^= h >> 15;
        h *= 0x85EBCA77u;
        return h >> (32 - bits_);
    }

    void EnsureSlots() {
        const std::size_t wanted = std::size_t{1} << bits_;
        if (slots_.size() < wanted) {
            slots_.resize(wanted, 0); // epoch 0 is never current: these slots are empty
        }
    }

    void NextEpoch() {
        if (++epoch_ > 0xFF) {
            std::fill(slots_.begin(), slots_.end(), 0);
            epoch_ = 1;
        }
    }

    __attribute__((noinline)) void Grow() {
        ++bits_;
        EnsureSlots();
        NextEpoch();
        const std::uint32_t mask = (1u << bits_) - 1;
        for (std::size_t number = 0; number < colors_.size(); ++number) {
            const std::uint32_t color = colors_[number];
            std::uint32_t slot = SlotOf(color);
            while ((static_cast<std::uint32_t>(slots_[slot]) >> 24) == epoch_) {
                slot = (slot + 1) & mask;
            }
            slots_[slot] = (color | (epoch_ << 24)) | (static_cast<std::uint64_t>(number) << 32);
        }
    }

    std::vector<std::uint64_t> slots_;
    int bits_ = kInitialBits;
    std::uint32_t epoch_ = 0;
    std::vector<std::uint32_t> colors_;
    std::vector<std::uint32_t> counts_;
};

// A small direct-mapped cache in front of a colour index: the colours met
// lately and their numbers. Pictures with many colours (photos) meet the same
// few colours again and again in a neighbourhood; the cache answers them from
// the first-level cache instead of a probe into the large index. It only ever
// holds colours already in the index, so every new colour still reaches the
// index, in the order it is met.
class TRecentColors {
public:
    void Start() { std::fill(std::begin(colors_), std::end(colors_), kNone); }

    inline __attribute__((always_inline)) std::uint32_t Add(std::uint32_t color,
                                                            TColorIndex& index) {
        const std::uint32_t entry = (color * 0x9E3779B1u) >> (32 - kBits);
        if (colors_[entry] == color) {
            return numbers_[entry];
        }
        const std::uint32_t number = index.Add(color);
        colors_[entry] = color;
        numbers_[entry] = number;
        return number;
    }

private:
    static constexpr int kBits = 11;
    static constexpr std::uint32_t kNone = 0xFFFFFFFF; // no colour has this value
    std::uint32_t colors_[1u << kBits];
    std::uint32_t numbers_[1u << kBits];
};

// A run of pixels of one colour within a stored row, as the counting pass
// finds it.
struct TRun {
    std::uint32_t Length;
    std::uint32_t Number; // the colour's number in the pixel index
};

// What the counting pass learns of each stored row, so that the pixel pass
// neither reads the picture again nor looks its colours up: either the row's
// runs of one colour, or (for rows broken into many short runs) the colour
// number of every pixel. The numbers of very large pictures are kept only up
// to a bound; the rows beyond it are read again by the pixel pass.
struct TRowRecord {
    // Count of a row recorded pixel by pixel.
    static constexpr std::uint32_t kNumbers = 0xFFFFFFFF;
    // Count of a row that the pixel pass reads again.
    static constexpr std::uint32_t kReread = 0xFFFFFFFE;
    // A row is recorded as runs while they average at least this many pixels.
    static constexpr std::int32_t kMinMeanRun = 4;
    // At most this many colour numbers are recorded for a picture.
    static constexpr std::size_t kMaxNumbers = std::size_t{1} << 22;
    // Number buffers up to this many entries are kept for the next picture.
    static constexpr std::size_t kKeptNumbers = std::size_t{1} << 20;
    // At most this many runs are recorded for a picture; the rows past that
    // bound are recorded as numbers (or read again).
    static constexpr std::size_t kMaxRuns = std::size_t{1} << 21;
    // Run lists up to this many entries are kept for the next picture.
    static constexpr std::size_t kKeptRuns = std::size_t{1} << 17;

    std::vector<TRun> Runs;
    std::vector<std::size_t> First;   // per stored row: its first run or its first number
    std::vector<std::uint32_t> Count; // per stored row: its number of runs, kNumbers or kReread
    std::unique_ptr<std::uint32_t[]> Numbers;
    std::size_t NumbersCapacity = 0;
    std::size_t NumbersUsed = 0;

    void Start(std::int32_t height) {
        Runs.clear();
        First.resize(static_cast<std::size_t>(height));
        Count.resize(static_cast<std::size_t>(height));
        NumbersUsed = 0;
    }
    // The number buffer for a stored row of width pixels, or null once the
    // bound is reached (the row is then marked to be read again). Room for the
    // whole picture, up to the bound, is taken at the first call, left
    // uninitialised: every entry is written before it is read.
    std::uint32_t* NumbersFor(std::int32_t row, std::int32_t width, std::size_t pixels) {
        const std::size_t wanted = std::min(pixels, kMaxNumbers);
        if (NumbersCapacity < wanted) {
            Numbers.reset();
            NumbersCapacity = 0;
            Numbers.reset(new std::uint32_t[wanted]);
            NumbersCapacity = wanted;
        }
        if (NumbersCapacity - NumbersUsed < static_cast<std::size_t>(width)) {
            Count[static_cast<std::size_t>(row)] = kReread;
            return nullptr;
        }
        First[static_cast<std::size_t>(row)] = NumbersUsed;
        Count[static_cast<std::size_t>(row)] = kNumbers;
        std::uint32_t* numbers = Numbers.get() + NumbersUsed;
        NumbersUsed += static_cast<std::size_t>(width);
        return numbers;
    }
    // Lets large buffers go.
    void Trim() {
        if (NumbersCapacity > kKeptNumbers) {
            Numbers.reset();
            NumbersCapacity = 0;
        }
        if (Runs.capacity() > kKeptRuns) {
            std::vector<TRun>().swap(Runs);
        }
    }
};

// Work memory of the popularity method, kept per thread between calls.
struct TPopularityScratch {
    TColorIndex Pixels;                    // the pixel colours under the counting masks
    TRecentColors Recent;                  // in front of Pixels
    TRowRecord PixelRows;                  // the rows in those colours
    TColorIndex Merge;                     // one coarsening step of the colour list
    std::vector<std::uint32_t> ListColors; // the colour list under the current masks
    std::vector<std::uint32_t> ListCounts;
    std::vector<std::uint32_t> Renumber; // per coarsening step: list entry -> merged entry
    std::vector<std::size_t> StepSizes;  // per coarsening step: the list's length before it
    std::vector<std::uint32_t> Order;
    std::vector<std::uint8_t> PaletteOf; // list entry -> palette slot; in the end per pixel colour
    std::vector<std::uint8_t> StepSlots;
};

struct TChannelMasks {
    std::uint8_t Red = 0xFF;
    std::uint8_t Green = 0xFF;
    std::uint8_t Blue = 0xFF;

    std::uint32_t Word() const {
        return static_cast<std::uint32_t>(Blue) | (static_cast<std::uint32_t>(Green) << 8) |
               (static_cast<std::uint32_t>(Red) << 16);
    }
    // Drops one more low bit: from three equal masks blue first, then red,
    // then green, and round again.
    void Coarsen() {
        if (Red < Green) {
            Green = static_cast<std::uint8_t>(Green << 1);
        } else if (Red > Blue) {
            Red = static_cast<std::uint8_t>(Red << 1);
        } else {
            Blue = static_cast<std::uint8_t>(Blue << 1);
        }
    }
};

struct TPicture {
    const std::uint8_t* FirstRow;
    std::ptrdiff_t Stride;
    std::int32_t Width;
    std::int32_t Height;

    const std::uint8_t* Row(std::int32_t storedRow) const {
        return FirstRow + static_cast<std::ptrdiff_t>(storedRow) * Stride;
    }
};

// The pixel at column x of a row of width pixels, as blue | green << 8 | red << 16.
// Every pixel but the last is read with one four-byte load.
inline std::uint32_t PixelAt(const std::uint8_t* row, std::int32_t x, std::int32_t width) {
    const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * 3;
    if constexpr (std::endian::native == std::endian::little) {
        if (x + 1 < width) {
            std::uint32_t word;
            std::memcpy(&word, p, sizeof word);
            return word & 0xFFFFFF;
        }
    }
    return ReadPixel(p);
}

// Counts the pixel colours under mask into index, in stored order, and
// records the rows in record. Gives up (false) once more than limit distinct
// colours have been met.
// A row is first taken as runs: a pixel that repeats the one before it under
// the mask only lengthens the run, and the pixels that follow and repeat it
// byte for byte are then skipped many at a time. Once the row has too many
// runs it goes on pixel by pixel, storing colour numbers, and so do the rows
// after it while they are broken into many runs.
bool CountColors(const TPicture& picture, std::uint32_t mask, std::size_t limit, TColorIndex& index,
                 TRecentColors& recent, TRowRecord& record) {
    index.Start();
    recent.Start();
    record.Start(picture.Height);
    const std::int32_t width = picture.Width;
    const std::size_t pixels =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(picture.Height);
    const std::size_t maxRuns = static_cast<std::size_t>(width / TRowRecord::kMinMeanRun) + 1;
    std::uint32_t last = 0xFFFFFFFF; // no pixel has this colour
    std::uint32_t number = 0;
    bool byPixel = false; // the row before was recorded pixel by pixel
    for (std::int32_t r = 0; r < picture.Height; ++r) {
        const std::uint8_t* row = picture.Row(r);
        std::int32_t x = 0;
        std::int32_t runStart = 0; // where the pending run of colour last began in this row
        std::size_t runs = 0;
        std::uint32_t* numbers = nullptr;
        if (!byPixel) {
            const std::size_t first = record.Runs.size();
            while (x < width) {
                const std::uint32_t color = PixelAt(row, x, width) & mask;
                if (color != last) {
                    if (x != runStart) {
                        if (record.Runs.size() - first == maxRuns ||
                            record.Runs.size() == TRowRecord::kMaxRuns) {
                            break;
                        }
                        const auto length = static_cast<std::uint32_t>(x - runStart);
                        index.Counts()[number] += length;
                        record.Runs.push_back(TRun{length, number});
                        runStart = x;
                    }
                    number = recent.Add(color, index);
                    last = color;
                    ++x;
                    continue;
                }
                ++x;
                x += RepeatCount(row + static_cast<std::ptrdiff_t>(x) * 3, width - x);
            }
            if (x == width) {
                if (x != runStart) {
                    const auto length = static_cast<std::uint32_t>(x - runStart);
                    index.Counts()[number] += length;
                    record.Runs.push_back(TRun{length, number});
                }
                record.First[static_cast<std::size_t>(r)] = first;
                record.Count[static_cast<std::size_t>(r)] =
                    static_cast<std::uint32_t>(record.Runs.size() - first);
                if (index.Size() > limit) {
                    return false;
                }
                continue;
            }
            // Too many runs (in the row, or for the record): the runs so far
            // and the pending one become numbers, and the row goes on from
            // pixel x, not yet counted.
            numbers = record.NumbersFor(r, width, pixels);
            if (numbers != nullptr) {
                std::uint32_t* out = numbers;
                for (std::size_t k = first; k < record.Runs.size(); ++k) {
                    out = std::fill_n(out, record.Runs[k].Length, record.Runs[k].Number);
                }
                std::fill_n(out, x - runStart, number);
            }
            record.Runs.resize(first);
            runs = maxRuns;
        } else {
            numbers = record.NumbersFor(r, width, pixels);
        }
        const auto countPixels = [&](auto store) __attribute__((always_inline)) {
            for (; x < width; ++x) {
                const std::uint32_t color = PixelAt(row, x, width) & mask;
                if (color != last) {
                    index.Counts()[number] += static_cast<std::uint32_t>(x - runStart);
                    runStart = x;
                    ++runs;
                    number = recent.Add(color, index);
                    last = color;
                }
                if constexpr (decltype(store)::value) {
                    numbers[x] = number;
                }
            }
        };
        if (numbers != nullptr) {
            countPixels(std::true_type{});
        } else {
            countPixels(std::false_type{});
        }
        index.Counts()[number] += static_cast<std::uint32_t>(width - runStart);
        byPixel = runs > maxRuns;
        if (index.Size() > limit) {
            return false;
        }
    }
    return true;
}

// Sets length bytes at out to value. room (>= length) is how many bytes from
// out on may be written: short runs are written with whole eight-byte stores
// when the room allows, the bytes past the run being written again by the runs
// that follow.
inline void FillRun(std::uint8_t* out, std::uint8_t value, std::size_t length, std::size_t room) {
    if (length <= 16 && room >= 16) {
        const std::uint64_t word = value * 0x0101010101010101u;
        std::memcpy(out, &word, 8);
        std::memcpy(out + 8, &word, 8);
    } else {
        std::memset(out, value, length);
    }
}

// Palette slot with the smallest squared distance to color; ties go to the
// lowest slot. Only called once all slots are filled, so the loops have a
// fixed length and compile to vector code.
int NearestSlot(std::uint32_t color, const std::int32_t* reds, const std::int32_t* greens,
                const std::int32_t* blues) {
    std::int32_t distances[kPaletteSize];
    const std::int32_t r = RedOf(color);
    const std::int32_t g = GreenOf(color);
    const std::int32_t b = BlueOf(color);
    for (int k = 0; k < kPaletteSize; ++k) {
        const std::int32_t dr = reds[k] - r;
        const std::int32_t dg = greens[k] - g;
        const std::int32_t db = blues[k] - b;
        distances[k] = dr * dr + dg * dg + db * db;
    }
    std::int32_t best = distances[0];
    for (int k = 1; k < kPaletteSize; ++k) {
        best = std::min(best, distances[k]);
    }
    int k = 0;
    while (distances[k] != best) {
        ++k;
    }
    return k;
}

// Popularity reduction. The colours are counted exactly, as first met in
// stored order (bottom row first, left to right). As long as more than 2049
// distinct colours remain, one low bit of a channel mask is dropped and the
// colours are merged under the coarser masks; merging the list in its order
// keeps every colour where its first pixel puts it, so the result equals a
// recount of all pixels. The 256 most frequent colours (ties to the colour met
// first) take the palette slots, every other colour its nearest slot.
void ReducePopularity(const TPicture& picture, TColorTable& table, std::uint8_t* pixels,
                      std::size_t stride8) {
    thread_local TPopularityScratch scratch;
    TPopularityScratch& s = scratch;

    // Counting at full precision is given up for pictures with very many
    // colours; each recount drops one more bit. Beyond the histogram size the
    // merging works on the colour list alone.
    constexpr std::size_t kCountLimit = std::size_t{1} << 17;
    TChannelMasks masks;
    while (!CountColors(picture, masks.Word(), kCountLimit, s.Pixels, s.Recent, s.PixelRows)) {
        masks.Coarsen();
    }
    const std::uint32_t pixelMask = masks.Word();

    // Coarsening steps merge the colour list in its order. Renumber holds, step
    // after step, where each entry of the list went.
    const std::size_t distinct = s.Pixels.Size();
    const std::uint32_t* colors = s.Pixels.Colors().data();
    const std::uint32_t* counts = s.Pixels.Counts().data();
    std::size_t entries = distinct;
    s.Renumber.clear();
    s.StepSizes.clear();
    while (entries > kHistogramEntries) {
        masks.Coarsen();
        const std::uint32_t mask = masks.Word();
        s.Merge.Start(entries / 2);
        const std::size_t offset = s.Renumber.size();
        s.Renumber.resize(offset + entries);
        std::uint32_t* renumber = s.Renumber.data() + offset;
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint32_t number = s.Merge.Add(colors[i] & mask);
            s.Merge.Counts()[number] += counts[i];
            renumber[i] = number;
        }
        s.StepSizes.push_back(entries);
        s.ListColors.assign(s.Merge.Colors().begin(), s.Merge.Colors().end());
        s.ListCounts.assign(s.Merge.Counts().begin(), s.Merge.Counts().end());
        colors = s.ListColors.data();
        counts = s.ListCounts.data();
        entries = s.ListColors.size();
    }

    // Palette by decreasing count, ties to the colour met first.
    s.Order.resize(entries);
    std::iota(s.Order.begin(), s.Order.end(), 0u);
    std::stable_sort(s.Order.begin(), s.Order.end(),
                     [counts](std::uint32_t a, std::uint32_t b) { return counts[a] > counts[b]; });
    const int filled = static_cast<int>(std::min<std::size_t>(entries, kPaletteSize));
    std::vector<std::uint8_t>& slotOf = s.PaletteOf;
    slotOf.resize(entries);
    std::int32_t reds[kPaletteSize];
    std::int32_t greens[kPaletteSize];
    std::int32_t blues[kPaletteSize];
    for (int slot = 0; slot < kPaletteSize; ++slot) {
        if (slot < filled) {
            const std::uint32_t color = colors[s.Order[static_cast<std::size_t>(slot)]];
            slotOf[s.Order[static_cast<std::size_t>(slot)]] = static_cast<std::uint8_t>(slot);
            reds[slot] = RedOf(color);
            greens[slot] = GreenOf(color);
            blues[slot] = BlueOf(color);
        } else {
            reds[slot] = greens[slot] = blues[slot] = 128;
        }
        SetSlot(table, slot, reds[slot], greens[slot], blues[slot]);
    }
    // Entries beyond the palette exist only when every slot is filled.
    for (std::size_t rank = kPaletteSize; rank < entries; ++rank) {
        const std::uint32_t entry = s.Order[rank];
        slotOf[entry] = static_cast<std::uint8_t>(NearestSlot(colors[entry], reds, greens, blues));
    }

    // The slot of every pixel colour: back through the coarsening steps.
    std::size_t offset = s.Renumber.size();
    for (std::size_t step = s.StepSizes.size(); step-- > 0;) {
        const std::size_t size = s.StepSizes[step];
        offset -= size;
        const std::uint32_t* renumber = s.Renumber.data() + offset;
        s.StepSlots.resize(size);
        for (std::size_t i = 0; i < size; ++i) {
            s.StepSlots[i] = s.PaletteOf[renumber[i]];
        }
        s.PaletteOf.swap(s.StepSlots);
    }

    // Pixel pass, from the record of the counting pass.
    const std::uint8_t* paletteOf = s.PaletteOf.data();
    const TRowRecord& record = s.PixelRows;
    const auto width = static_cast<std::size_t>(picture.Width);
    std::uint32_t last = 0xFFFFFFFF; // no pixel has this colour
    std::uint8_t lastSlot = 0;
    for (std::int32_t r = 0; r < picture.Height; ++r) {
        std::uint8_t* out = pixels + static_cast<std::size_t>(r) * stride8;
        const std::size_t first = record.First[static_cast<std::size_t>(r)];
        const std::uint32_t runCount = record.Count[static_cast<std::size_t>(r)];
        if (runCount == TRowRecord::kNumbers) {
            const std::uint32_t* numbers = record.Numbers.get() + first;
            for (std::size_t x = 0; x < width; ++x) {
                out[x] = paletteOf[numbers[x]];
            }
            continue;
        }
        if (runCount == TRowRecord::kReread) {
            VisitRow(
                picture.Row(r), picture.Width,
                [&](std::int32_t x, std::uint32_t pixel) __attribute__((always_inline)) {
                    const std::uint32_t color = pixel & pixelMask;
                    if (color != last) {
                        last = color;
                        lastSlot = paletteOf[s.Pixels.Find(color)];
                    }
                    out[x] = lastSlot;
                });
            continue;
        }
        const TRun* run = record.Runs.data() + first;
        std::size_t x = 0;
        for (std::uint32_t k = 0; k < runCount; ++k, ++run) {
            FillRun(out + x, paletteOf[run->Number], run->Length, width - x);
            x += run->Length;
        }
    }
    s.PixelRows.Trim();
}

// ---------------------------------------------------------------------------
// Fixed palettes.

// Level k of n evenly spaced levels: 255 * k / (n - 1), halves rounded up.
constexpr int LevelValue(int k, int n) {
    return (510 * k + (n - 1)) / (2 * (n - 1));
}

// For every channel value the nearest of n levels (ties to the lower level).
struct TLevelTable {
    std::array<std::uint8_t, 256> Nearest{};
    constexpr explicit TLevelTable(int n) {
        for (int v = 0; v < 256; ++v) {
            int best = 0;
            for (int k = 1; k < n; ++k) {
                const int d = LevelValue(k, n) - v;
                const int bestD = LevelValue(best, n) - v;
                if (d * d < bestD * bestD) {
                    best = k;
                }
            }
            Nearest[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(best);
        }
    }
};

constexpr TLevelTable kLevels4(4);
constexpr TLevelTable kLevels6(6);
constexpr TLevelTable kLevels7(7);
constexpr TLevelTable kLevels8(8);

// Maps every pixel through slotOf(blue, green, red, storedRow, column).
template <class TSlotOf>
void MapPixels(const TPicture& picture, std::uint8_t* pixels, std::size_t stride8, TSlotOf slotOf) {
    for (std::int32_t r = 0; r < picture.Height; ++r) {
        const std::uint8_t* p = picture.Row(r);
        std::uint8_t* out = pixels + static_cast<std::size_t>(r) * stride8;
        for (std::int32_t x = 0; x < picture.Width; ++x, p += 3) {
            out[x] = static_cast<std::uint8_t>(slotOf(p[0], p[1], p[2], r, x));
        }
    }
}

std::uint32_t ReduceFixed224(const TPicture& picture, TColorTable& table, std::uint8_t* pixels,
                             std::size_t stride8) {
    for (int r = 0; r < 7; ++r) {
        for (int g = 0; g < 8; ++g) {
            for (int b = 0; b < 4; ++b) {
                SetSlot(table, r * 32 + g * 4 + b, LevelValue(r, 7), LevelValue(g, 8),
                        LevelValue(b, 4));
            }
        }
    }
    MapPixels(picture, pixels, stride8, [](int b, int g, int r, std::int32_t, std::int32_t) {
        return kLevels7.Nearest[static_cast<std::size_t>(r)] * 32 +
               kLevels8.Nearest[static_cast<std::size_t>(g)] * 4 +
               kLevels4.Nearest[static_cast<std::size_t>(b)];
    });
    return 224;
}

std::uint32_t ReduceFixed216(const TPicture& picture, TColorTable& table, std::uint8_t* pixels,
                             std::size_t stride8) {
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                SetSlot(table, r * 36 + g * 6 + b, LevelValue(r, 6), LevelValue(g, 6),
                        LevelValue(b, 6));
            }
        }
    }
    MapPixels(picture, pixels, stride8, [](int b, int g, int r, std::int32_t, std::int32_t) {
        return kLevels6.Nearest[static_cast<std::size_t>(r)] * 36 +
               kLevels6.Nearest[static_cast<std::size_t>(g)] * 6 +
               kLevels6.Nearest[static_cast<std::size_t>(b)];
    });
    return 216;
}

void ReduceChannelRamps(const TPicture& picture, TColorTable& table, std::uint8_t* pixels,
                        std::size_t stride8) {
    for (int level = 0; level < 64; ++level) {
        const int value = LevelValue(level, 64);
        SetSlot(table, level, value, 0, 0);
        SetSlot(table, 64 + level, 0, value, 0);
        SetSlot(table, 128 + level, 0, 0, value);
    }
    MapPixels(picture, pixels, stride8,
              [](int b, int g, int r, std::int32_t storedRow, std::int32_t column) {
                  switch ((static_cast<std::int64_t>(storedRow) + column) % 3) {
                  case 0:
                      return r >> 2;
                  case 1:
                      return 64 + (g >> 2);
                  default:
                      return 128 + (b >> 2);
                  }
              });
}

void ReduceGrayLevels(const TPicture& picture, TColorTable& table, std::uint8_t* pixels,
                      std::size_t stride8) {
    for (int i = 0; i < kPaletteSize; ++i) {
        SetSlot(table, i, i, i, i);
    }
    MapPixels(picture, pixels, stride8, [](int b, int g, int r, std::int32_t, std::int32_t) {
        return (77 * r + 150 * g + 29 * b) >> 8;
    });
}

// ---------------------------------------------------------------------------
// Median cut over 16 x 16 x 16 cells (the top four bits of each channel).

struct TBox {
    int Low[3]; // red, green, blue cell levels, inclusive
    int High[3];
    std::uint64_t Count;
};

inline int CellOf(int r, int g, int b) {
    return (r << 8) | (g << 4) | b;
}

// Shrinks box to the cells that hold pixels and recounts it.
void ShrinkBox(TBox& box, const std::vector<std::uint32_t>& cells) {
    int low[3] = {16, 16, 16};
    int high[3] = {-1, -1, -1};
    std::uint64_t count = 0;
    for (int r = box.Low[0]; r <= box.High[0]; ++r) {
        for (int g = box.Low[1]; g <= box.High[1]; ++g) {
            for (int b = box.Low[2]; b <= box.High[2]; ++b) {
                const std::uint32_t n = cells[static_cast<std::size_t>(CellOf(r, g, b))];
                if (n != 0) {
                    const int level[3] = {r, g, b};
                    for (int a = 0; a < 3; ++a) {
                        low[a] = std::min(low[a], level[a]);
                        high[a] = std::max(high[a], level[a]);
                    }
                    count += n;
                }
            }
        }
    }
    for (int a = 0; a < 3; ++a) {
        box.Low[a] = low[a];
        box.High[a] = high[a];
    }
    box.Count = count;
}

std::uint32_t ReduceMedianCut(const TPicture& picture, TColorTable& table, std::uint8_t* pixels,
                              std::size_t stride8) {
    std::vector<std::uint32_t> cells(16 * 16 * 16, 0);
    for (std::int32_t r = 0; r < picture.Height; ++r) {
        const std::uint8_t* p = picture.Row(r);
        for (std::int32_t x = 0; x < picture.Width; ++x, p += 3) {
            ++cells[static_cast<std::size_t>(CellOf(p[2] >> 4, p[1] >> 4, p[0] >> 4))];
        }
    }

    std::vector<TBox> boxes;
    boxes.push_back(TBox{{0, 0, 0}, {15, 15, 15}, 0});
    ShrinkBox(boxes[0], cells);
    while (boxes.size() < kPaletteSize) {
        // Split the most populated box that spans more than one cell.
        int chosen = -1;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const TBox& b = boxes[i];
            const bool splittable =
                b.Low[0] < b.High[0] || b.Low[1] < b.High[1] || b.Low[2] < b.High[2];
            if (splittable &&
                (chosen < 0 || b.Count > boxes[static_cast<std::size_t>(chosen)].Count)) {
                chosen = static_cast<int>(i);
            }
        }
        if (chosen < 0) {
            break;
        }
        TBox box = boxes[static_cast<std::size_t>(chosen)];
        int axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (box.High[a] - box.Low[a] > box.High[axis] - box.Low[axis]) {
                axis = a;
            }
        }
        // Pixels per level along the axis, then the level that holds the median.
        std::uint64_t perLevel[16] = {};
        for (int r = box.Low[0]; r <= box.High[0]; ++r) {
            for (int g = box.Low[1]; g <= box.High[1]; ++g) {
                for (int b = box.Low[2]; b <= box.High[2]; ++b) {
                    const int level[3] = {r, g, b};
                    perLevel[level[axis]] += cells[static_cast<std::size_t>(CellOf(r, g, b))];
                }
            }
        }
        int split = box.Low[axis];
        std::uint64_t below = perLevel[split];
        while (split + 1 < box.High[axis] && below * 2 < box.Count) {
            ++split;
            below += perLevel[split];
        }
        TBox lower = box;
        TBox upper = box;
        lower.High[axis] = split;
        upper.Low[axis] = split + 1;
        ShrinkBox(lower, cells);
        ShrinkBox(upper, cells);
        boxes[static_cast<std::size_t>(chosen)] = lower;
        boxes.push_back(upper);
    }

    std::vector<std::uint8_t> boxOfCell(cells.size(), 0);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const TBox& box = boxes[i];
        std::uint64_t sums[3] = {0, 0, 0};
        for (int r = box.Low[0]; r <= box.High[0]; ++r) {
            for (int g = box.Low[1]; g <= box.High[1]; ++g) {
                for (int b = box.Low[2]; b <= box.High[2]; ++b) {
                    const auto cell = static_cast<std::size_t>(CellOf(r, g, b));
                    boxOfCell[cell] = static_cast<std::uint8_t>(i);
                    // A cell's level is its four bits spread over 0..255.
                    sums[0] += std::uint64_t{cells[cell]} * static_cast<std::uint64_t>(r * 17);
                    sums[1] += std::uint64_t{cells[cell]} * static_cast<std::uint64_t>(g * 17);
                    sums[2] += std::uint64_t{cells[cell]} * static_cast<std::uint64_t>(b * 17);
                }
            }
        }
        const std::uint64_t n = std::max<std::uint64_t>(box.Count, 1);
        SetSlot(table, static_cast<int>(i), static_cast<int>((sums[0] + n / 2) / n),
                static_cast<int>((sums[1] + n / 2) / n), static_cast<int>((sums[2] + n / 2) / n));
    }
    MapPixels(picture, pixels, stride8,
              [&boxOfCell](int b, int g, int r, std::int32_t, std::int32_t) {
                  return boxOfCell[static_cast<std::size_t>(CellOf(r >> 4, g >> 4, b >> 4))];
              });
    return static_cast<std::uint32_t>(boxes.size());
}

std::unique_ptr<platform::TMemoryStream> Reduce(const TPicture& picture, TReductionMethod method) {
    const std::size_t stride8 = (static_cast<std::size_t>(picture.Width) + 3) & ~std::size_t{3};
    const std::uint64_t imageSize =
        std::uint64_t{stride8} * static_cast<std::uint64_t>(picture.Height);
    if (imageSize + kDib8HeaderSize > std::numeric_limits<std::uint32_t>::max()) {
        throw platform::EOutOfMemory();
    }

    auto stream = std::make_unique<platform::TMemoryStream>();
    stream->SetSize(static_cast<std::int64_t>(kDib8HeaderSize + imageSize));
    std::uint8_t* memory = stream->Memory();
    std::uint8_t* pixels = memory + kDib8HeaderSize;

    TColorTable table{};
    std::uint32_t important = 0;
    switch (method) {
    case rmMedianCut:
        important = ReduceMedianCut(picture, table, pixels, stride8);
        break;
    case rmFixedPalette224:
        important = ReduceFixed224(picture, table, pixels, stride8);
        break;
    case rmFixedPalette216:
        important = ReduceFixed216(picture, table, pixels, stride8);
        break;
    case rmChannelRamps:
        ReduceChannelRamps(picture, table, pixels, stride8);
        break;
    case rmGrayLevels:
        ReduceGrayLevels(picture, table, pixels, stride8);
        break;
    case rmPopularity:
    default:
        ReducePopularity(picture, table, pixels, stride8);
        break;
    }
    // Row padding carries no meaning; keep it zero so equal pictures give equal bytes.
    const std::size_t padding = stride8 - static_cast<std::size_t>(picture.Width);
    if (padding != 0) {
        for (std::int32_t r = 0; r < picture.Height; ++r) {
            std::memset(pixels + static_cast<std::size_t>(r) * stride8 +
                            static_cast<std::size_t>(picture.Width),
                        0, padding);
        }
    }

    platform::TBitmapFileHeader file;
    file.bfSize = static_cast<std::uint32_t>(kDib8HeaderSize + imageSize);
    file.bfOffBits = static_cast<std::uint32_t>(kDib8HeaderSize);
    file.Write(memory);
    platform::TBitmapInfoHeader info;
    info.biWidth = picture.Width;
    info.biHeight = picture.Height;
    info.biBitCount = 8;
    info.biSizeImage = static_cast<std::uint32_t>(imageSize);
    info.biClrImportant = important;
    info.Write(memory + platform::kBmpFileHeaderSize);
    std::memcpy(memory + platform::kBmpFileHeaderSize + platform::kBmpInfoHeaderSize, table.data(),
                table.size());
    stream->SetPosition(0);
    return stream;
}

} // namespace

std::unique_ptr<platform::TMemoryStream> ReduceRowsToDIB8(const std::uint8_t* firstStoredRow,
                                                          std::ptrdiff_t storedStride,
                                                          std::int32_t width, std::int32_t height,
                                                          TReductionMethod method) {
    if (width < 1 || height < 1 || firstStoredRow == nullptr) {
        throw platform::EInvalidGraphic("Bitmap image is not valid");
    }
    const TPicture picture{firstStoredRow, storedStride, width, height};
    try {
        return Reduce(picture, method);
    } catch (const std::bad_alloc&) {
        throw platform::EOutOfMemory();
    } catch (const std::length_error&) {
        throw platform::EOutOfMemory();
    }
}

} // namespace gif
