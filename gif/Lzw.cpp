#include "gif/Lzw.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace gif {
namespace {

// Once this code has been created the string table is full: the encoder emits
// a clear code and starts over, so codes never need more than 12 bits and 4095
// is never used.
constexpr std::uint32_t kLastCode = 4094;

// The string table maps (prefix code, pixel) to the code of that string. It is
// an open-addressing table of 8192 slots (at most 4089 live entries, so at most
// half full), small enough to stay in the first-level cache. A slot holds
// key << 12 | code with key = prefix << 8 | pixel; all ones marks an empty
// slot (no prefix is ever 4095). Any exact (prefix, pixel) lookup finds the
// same strings, so the choice of structure does not change the output.
//
// In front of it sits a one-entry cache per code: the pixel and code of the
// child that was found or created last. Flat areas and repeated patterns
// extend a string the same way again and again, and then the next code is one
// load away instead of a hash and a probe. A cache entry is emptied when its
// code is created (a new string has no children yet), and the entries of the
// single-pixel codes when the table is reset, so it never names a stale code.
//
// Runs of one pixel value v have a table of their own. The strings v, vv, vvv,
// ... get their codes one after the other (a string is only ever created from
// its prefix), so for each v the strings of v repeated 1 to RunTop[v] times
// have codes and no longer one does. RunCode lists those codes by length:
// inside a run the encoder finds how many pixels repeat v and jumps straight
// to the longest string that they and the table allow, instead of walking the
// strings one pixel at a time. TopCode[v] is the code of the longest one, so
// that any new string can tell cheaply whether it lengthens that list.
constexpr int kSlotBits = 13;
constexpr std::uint32_t kSlotCount = 1u << kSlotBits;
constexpr std::uint32_t kSlotMask = kSlotCount - 1;
constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
constexpr std::uint32_t kCodeCount = 4096;
constexpr std::uint32_t kPixelValues = 256;

struct TStringTable {
    std::uint32_t Slots[kSlotCount];
    std::uint32_t LastChild[kCodeCount];
    std::uint32_t RunTop[kPixelValues];
    std::uint32_t TopCode[kPixelValues];
    // Code of v repeated k times at [v * kCodeCount + k], 1 <= k <= RunTop[v].
    // Only the entries up to RunTop[v] are ever read, so the array is left
    // uninitialised and its pages are touched only as runs grow.
    std::uint16_t RunCode[kPixelValues * kCodeCount];

    void Clear(std::uint32_t rootCodes) {
        std::memset(Slots, 0xFF, sizeof Slots);
        std::memset(LastChild, 0xFF, rootCodes * sizeof(std::uint32_t));
        for (std::uint32_t v = 0; v < rootCodes && v < kPixelValues; ++v) {
            RunTop[v] = 1;
            TopCode[v] = v;
            RunCode[v * kCodeCount + 1] = static_cast<std::uint16_t>(v);
        }
    }
};

inline std::uint32_t SlotOf(std::uint32_t key) {
    return (key * 0x9E3779B1u) >> (32 - kSlotBits);
}

// The table of a thread is kept between calls so that its pages are touched
// only once; a call made while the table is busy (a progress handler that
// encodes another picture) gets a table of its own.
struct TTableLease {
    TTableLease() {
        thread_local std::unique_ptr<TStringTable> cached;
        thread_local bool busy = false;
        if (!busy) {
            if (!cached) {
                cached.reset(new TStringTable); // not value-initialised: see RunCode
            }
            table = cached.get();
            busyFlag = &busy;
            busy = true;
        } else {
            own.reset(new TStringTable);
            table = own.get();
        }
    }
    ~TTableLease() {
        if (busyFlag != nullptr) {
            *busyFlag = false;
        }
    }
    TTableLease(const TTableLease&) = delete;
    TTableLease& operator=(const TTableLease&) = delete;

    TStringTable* table = nullptr;
    std::unique_ptr<TStringTable> own;
    bool* busyFlag = nullptr;
};

// Packs codes least significant bit first into a continuous bit stream and
// hands it to the destination as data sub-blocks of 255 bytes, each preceded
// by its length byte. Whole sub-blocks are written in batches; the last,
// shorter one and the terminator are written by Finish.
class TCodePacker {
public:
    TCodePacker(platform::TStream& destination, int codeWidth)
        : destination_(destination), codeWidth_(codeWidth) {}

    void SetCodeWidth(int codeWidth) { codeWidth_ = codeWidth; }
    int CodeWidth() const { return codeWidth_; }

    void Pack(std::uint32_t code) {
        bits_ |= static_cast<std::uint64_t>(code) << bitCount_;
        bitCount_ += codeWidth_;
        // The complete bytes go out at once, without a branch: eight bytes
        // are stored and the position advances by the complete ones.
        const int bytes = bitCount_ >> 3;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(raw_ + used_, &bits_, sizeof bits_);
        } else {
            for (int i = 0; i < 8; ++i) {
                raw_[used_ + static_cast<std::size_t>(i)] =
                    static_cast<std::uint8_t>(bits_ >> (8 * i));
            }
        }
        used_ += static_cast<std::size_t>(bytes);
        bits_ >>= 8 * bytes;
        bitCount_ &= 7;
        if (used_ >= kRawCapacity) {
            WriteFullBlocks();
        }
    }

    // Writes every complete 255-byte sub-block collected so far.
    void WriteFullBlocks() {
        const std::size_t blocks = used_ / kBlockSize;
        if (blocks == 0) {
            return;
        }
        std::size_t framed = 0;
        for (std::size_t i = 0; i < blocks; ++i) {
            framed_[framed++] = static_cast<std::uint8_t>(kBlockSize);
            std::memcpy(framed_ + framed, raw_ + i * kBlockSize, kBlockSize);
            framed += kBlockSize;
        }
        const std::size_t rest = used_ - blocks * kBlockSize;
        std::memmove(raw_, raw_ + blocks * kBlockSize, rest);
        used_ = rest;
        destination_.WriteBuffer(framed_, framed);
    }

    // Flushes the bits still held (the last byte padded with zero bits), the
    // last sub-block if any byte is left, and the block terminator.
    void Finish() {
        while (bitCount_ > 0) {
            raw_[used_++] = static_cast<std::uint8_t>(bits_);
            bits_ >>= 8;
            bitCount_ -= 8;
        }
        bitCount_ = 0;
        WriteFullBlocks();
        std::uint8_t tail[kBlockSize + 2];
        std::size_t n = 0;
        if (used_ > 0) {
            tail[n++] = static_cast<std::uint8_t>(used_);
            std::memcpy(tail + n, raw_, used_);
            n += used_;
            used_ = 0;
        }
        tail[n++] = 0;
        destination_.WriteBuffer(tail, n);
    }

private:
    static constexpr std::size_t kBlockSize = 255;
    static constexpr std::size_t kBlocksPerWrite = 32;
    static constexpr std::size_t kRawCapacity = kBlockSize * kBlocksPerWrite;

    platform::TStream& destination_;
    int codeWidth_;
    std::uint64_t bits_ = 0;
    int bitCount_ = 0;
    std::size_t used_ = 0;
    std::uint8_t raw_[kRawCapacity + 8];
    std::uint8_t framed_[(kBlockSize + 1) * kBlocksPerWrite];
};

// The number of leading bytes of p[0, available) that equal value, counted
// up to cap at most. Whole words are compared as long as the row has them,
// even past cap, so that only the bytes at the very end of a row are taken one
// at a time.
inline std::int64_t LeadingRepeats(const std::uint8_t* p, std::int64_t available, std::int64_t cap,
                                   std::uint8_t value) {
    std::int64_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t pattern = value * 0x0101010101010101u;
        for (; i < cap && i + 8 <= available; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, sizeof word);
            if (word != pattern) {
                return std::min(i + std::countr_zero(word ^ pattern) / 8, cap);
            }
        }
    }
    while (i < cap && i < available && p[i] == value) {
        ++i;
    }
    return std::min(i, cap);
}

class TLzwCoder {
public:
    TLzwCoder(TStringTable& table, TCodePacker& packer, int initialWidth)
        : table_(table), packer_(packer), initialWidth_(initialWidth),
          clearCode_(1u << (initialWidth - 1)), endCode_(clearCode_ + 1), lastCode_(endCode_),
          codeLimit_(1u << initialWidth) {
        table_.Clear(clearCode_);
    }

    std::uint32_t ClearCode() const { return clearCode_; }
    std::uint32_t EndCode() const { return endCode_; }

    // Continues the code stream with count pixel values.
    void Feed(const std::uint8_t* pixels, std::int64_t count) {
        if (count <= 0) {
            return;
        }
        const std::uint8_t* p = pixels; // the next pixel to take
        const std::uint8_t* const end = pixels + count;
        std::uint32_t runLength = runLength_;
        std::uint32_t runPixel = runPixel_;
        if (!pending_) {
            current_ = *p;
            pending_ = true;
            runLength = 1;
            runPixel = *p;
            ++p;
        }
        runLength_ = 0;
        // Locals, so that the stores of the slow paths do not force reloads.
        TStringTable& t = table_;
        std::uint32_t current = current_;
        std::uint32_t lastCode = lastCode_;
        std::uint32_t codeLimit = codeLimit_;

        // Emits current and gives (current, pixel) the next code; the table
        // slot for it is given, found empty by the lookup. Returns the code.
        const auto create = [&](std::uint32_t pixel, std::uint32_t key, std::uint32_t slot)
            __attribute__((always_inline)) {
            packer_.Pack(current);
            const std::uint32_t code = ++lastCode;
            t.Slots[slot] = (key << 12) | code;
            t.LastChild[current] = (pixel << 12) | code;
            t.LastChild[code] = kEmpty;
            if (current == t.TopCode[pixel]) {
                const std::uint32_t length = ++t.RunTop[pixel];
                t.RunCode[pixel * kCodeCount + length] = static_cast<std::uint16_t>(code);
                t.TopCode[pixel] = code;
            }
            return code;
        };
        // After create: a fresh string holds the pixel just taken. Widens the
        // codes, or emits that string and a clear code once the table is full;
        // then the string starts afresh at the pixel after (if any). Returns
        // true after a reset.
        const auto afterCreate = [&](std::uint32_t code) __attribute__((always_inline)) {
            if (code >= codeLimit) {
                codeLimit <<= 1;
                packer_.SetCodeWidth(packer_.CodeWidth() + 1);
                return false;
            }
            if (code < kLastCode) {
                return false;
            }
            packer_.Pack(current);
            packer_.Pack(clearCode_);
            lastCode = endCode_;
            codeLimit = 1u << initialWidth_;
            packer_.SetCodeWidth(initialWidth_);
            t.Clear(clearCode_);
            // Nothing is pending: the next pixel starts a fresh string.
            if (p != end) {
                current = *p;
                ++p;
            } else {
                pending_ = false;
            }
            return true;
        };
        // Inside a run of runPixel, with current the string of runPixel
        // repeated runLength times and *p == runPixel. Returns false once the
        // pixels are used up inside the run (its state kept for the next
        // row), true when another pixel or a reset ends it.
        const auto takeRun = [&]() __attribute__((always_inline)) {
            const std::uint32_t v = runPixel;
            for (;;) {
                const std::int64_t repeats = LeadingRepeats(p, end - p, t.RunTop[v] - runLength,
                                                            static_cast<std::uint8_t>(v));
                runLength += static_cast<std::uint32_t>(repeats);
                p += repeats;
                current = t.RunCode[v * kCodeCount + runLength];
                if (p == end) {
                    return false;
                }
                if (*p != v) {
                    return true;
                }
                // The longest run string grows by one more pixel.
                const std::uint32_t key = (current << 8) | v;
                std::uint32_t slot = SlotOf(key);
                while (t.Slots[slot] != kEmpty) {
                    slot = (slot + 1) & kSlotMask;
                }
                const std::uint32_t code = create(v, key, slot);
                current = v;
                runLength = 1;
                ++p;
                if (afterCreate(code)) {
                    return true;
                }
                if (p == end) {
                    return false;
                }
                if (*p != v) {
                    return true;
                }
            }
        };

        if (runLength != 0 && p != end && *p == runPixel && !takeRun()) {
            runLength_ = runLength;
            runPixel_ = runPixel;
            p = end;
        }
        while (p != end) {
            const std::uint32_t pixel = *p;
            std::uint32_t cached = t.LastChild[current];
            if ((cached >> 12) == pixel) {
                // Follow the cached children as far as they go.
                do {
                    current = cached & 0xFFF;
                    ++p;
                } while (p != end && ((cached = t.LastChild[current]) >> 12) == *p);
                continue;
            }
            const std::uint32_t key = (current << 8) | pixel;
            std::uint32_t slot = SlotOf(key);
            std::uint32_t found;
            while ((found = t.Slots[slot]) != kEmpty) {
                if ((found >> 12) == key) {
                    break;
                }
                slot = (slot + 1) & kSlotMask;
            }
            if (found != kEmpty) {
                const std::uint32_t code = found & 0xFFF;
                t.LastChild[current] = (pixel << 12) | code;
                current = code;
                ++p;
                continue;
            }
            // The pending string cannot grow by this pixel: emit it, remember
            // it extended by the pixel, and start a new string at the pixel.
            const std::uint32_t code = create(pixel, key, slot);
            current = pixel;
            ++p;
            if (afterCreate(code)) {
                continue;
            }
            // A run of the pixel that starts the new string is taken whole.
            if (end - p >= 4) {
                std::uint32_t word;
                std::memcpy(&word, p, sizeof word);
                if (word == pixel * 0x01010101u) {
                    runPixel = pixel;
                    runLength = 1;
                    if (!takeRun()) {
                        runLength_ = runLength;
                        runPixel_ = runPixel;
                        break;
                    }
                }
            }
        }
        current_ = current;
        lastCode_ = lastCode;
        codeLimit_ = codeLimit;
    }

    void Finish() {
        if (pending_) {
            packer_.Pack(current_);
        }
        packer_.Pack(endCode_);
        packer_.Finish();
    }

private:
    TStringTable& table_;
    TCodePacker& packer_;
    int initialWidth_;
    std::uint32_t clearCode_;
    std::uint32_t endCode_;
    std::uint32_t lastCode_;
    std::uint32_t codeLimit_;
    std::uint32_t current_ = 0;
    bool pending_ = false;
    // When a row ended inside a run: current_ is runPixel_ repeated
    // runLength_ times. Zero when unknown.
    std::uint32_t runLength_ = 0;
    std::uint32_t runPixel_ = 0;
};

// Spreads a row of 1- or 4-bit pixels into one byte per pixel.
void UnpackRow(const std::uint8_t* row, int bits, std::int64_t width, std::uint8_t* pixels) {
    if (bits == 4) {
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint8_t b = row[x >> 1];
            pixels[x] = static_cast<std::uint8_t>((x & 1) != 0 ? (b & 0x0F) : (b >> 4));
        }
    } else {
        for (std::int64_t x = 0; x < width; ++x) {
            pixels[x] = static_cast<std::uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
        }
    }
}

std::uint8_t PercentDone(int row, int height) {
    // Interlaced order can step past the last row, which would give more than 100.
    const double percent = static_cast<double>(row) / height * 100.0;
    return percent >= 100.0 ? 100 : static_cast<std::uint8_t>(percent);
}

void Encode(platform::TStream& destination, const platform::TBitmapInfoHeader& header,
            bool interlaced, const std::uint8_t* rows, const TLzwProgress& progress) {
    const int bits = header.biBitCount;
    const int initialWidth = std::max(bits + 1, 3);
    const std::int64_t width = header.biWidth;
    const int height = header.biHeight;
    const std::int64_t stride = platform::BmpStride(width, bits);

    TTableLease lease;
    std::vector<std::uint8_t> unpacked;
    if (bits != 8 && width > 0) {
        unpacked.resize(static_cast<std::size_t>(width));
    }

    destination.WriteByte(static_cast<std::uint8_t>(initialWidth - 1));
    TCodePacker packer(destination, initialWidth);
    TLzwCoder coder(*lease.table, packer, initialWidth);
    packer.Pack(coder.ClearCode());

    if (progress) {
        progress(TProgressStage::psStarting, 0, std::string());
    }
    int row = 0;
    int pass = 0;
    while (row < height) {
        if (width > 0) {
            const std::uint8_t* stored =
                rows + (static_cast<std::int64_t>(height) - 1 - row) * stride;
            if (bits == 8) {
                coder.Feed(stored, width);
            } else {
                UnpackRow(stored, bits, width, unpacked.data());
                coder.Feed(unpacked.data(), width);
            }
        }
        row = interlaced ? NextInterlacedRow(row, height, pass) : row + 1;
        if (progress) {
            packer.WriteFullBlocks();
            progress(TProgressStage::psRunning, PercentDone(row, height), std::string());
        }
    }
    coder.Finish();
}

} // namespace

int NextInterlacedRow(int row, int height, int& pass) {
    row += pass <= 1 ? 8 : (pass == 2 ? 4 : 2);
    if (row < height) {
        return row;
    }
    switch (pass) {
    case 0:
        pass = 1;
        row = 4;
        if (height > 4) {
            return row;
        }
        [[fallthrough]];
    case 1:
        pass = 2;
        row = 2;
        if (height > 2) {
            return row;
        }
        [[fallthrough]];
    case 2:
        pass = 3;
        return 1;
    default:
        return row;
    }
}

void LzwEncodeBits(platform::TStream& destination, const platform::TBitmapInfoHeader& header,
                   bool interlaced, const std::uint8_t* rows, const TLzwProgress& progress) {
    try {
        try {
            Encode(destination, header, interlaced, rows, progress);
        } catch (const std::bad_alloc&) {
            throw platform::EOutOfMemory();
        }
    } catch (const std::exception& e) {
        if (progress) {
            // The failure being reported takes precedence over anything the
            // handler might raise while hearing about it.
            try {
                progress(TProgressStage::psEnding, 0, e.what());
            } catch (...) {
            }
        }
        throw;
    }
    if (progress) {
        progress(TProgressStage::psEnding, 100, std::string());
    }
}

} // namespace gif
