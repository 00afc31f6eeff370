// The LZW encoder: exact bytes for small pictures, byte equality with a plain
// reference encoder (the string table as a 17777-slot hash with linear probing
// and the 260-byte sub-block packer), and decoding by giflib.
#include "gif/Lzw.h"

#include "platform/Exceptions.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A picture of palette indices, top row first, and its bottom-up stored form.
struct Picture {
    int Bits = 8;
    int Width = 0;
    int Height = 0;
    Bytes Pixels; // Width * Height values, top row first

    std::uint8_t At(int x, int y) const {
        return Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                      static_cast<std::size_t>(x)];
    }
    platform::TBitmapInfoHeader Header() const {
        platform::TBitmapInfoHeader h;
        h.biWidth = Width;
        h.biHeight = Height;
        h.biBitCount = static_cast<std::uint16_t>(Bits);
        return h;
    }
    Bytes StoredRows() const {
        const auto stride = static_cast<std::size_t>(platform::BmpStride(Width, Bits));
        Bytes rows(stride * static_cast<std::size_t>(std::max(Height, 0)) + 1, 0xEE);
        for (int y = 0; y < Height; ++y) {
            std::uint8_t* row = rows.data() + static_cast<std::size_t>(Height - 1 - y) * stride;
            std::fill(row, row + stride, 0);
            for (int x = 0; x < Width; ++x) {
                const std::uint8_t v = At(x, y);
                if (Bits == 8) {
                    row[x] = v;
                } else if (Bits == 4) {
                    row[x / 2] |= static_cast<std::uint8_t>((x % 2 == 0) ? v << 4 : v);
                } else {
                    row[x / 8] |= static_cast<std::uint8_t>(v << (7 - x % 8));
                }
            }
        }
        return rows;
    }
};

Picture RandomPicture(int bits, int width, int height, unsigned seed, int runLength = 1) {
    Picture p{bits, width, height, {}};
    std::mt19937 rng(seed);
    const int colours = 1 << bits;
    std::uint8_t value = 0;
    for (int i = 0; i < width * height; ++i) {
        if (i % runLength == 0) {
            value = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(colours));
        }
        p.Pixels.push_back(value);
    }
    return p;
}

// Picture rows in the order they are encoded.
std::vector<int> RowOrder(int height, bool interlaced) {
    std::vector<int> order;
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            order.push_back(y);
        }
        return order;
    }
    const int starts[4] = {0, 4, 2, 1};
    const int steps[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = starts[pass]; y < height; y += steps[pass]) {
            order.push_back(y);
        }
    }
    return order;
}

Bytes Encode(const Picture& picture, bool interlaced = false,
             const gif::TLzwProgress& progress = {}) {
    const Bytes rows = picture.StoredRows();
    platform::TMemoryStream out;
    gif::LzwEncodeBits(out, picture.Header(), interlaced, rows.data(), progress);
    return Bytes(out.Memory(), out.Memory() + out.ByteSize());
}

// The encoder written out in its plainest form.
struct ReferenceResult {
    Bytes Data;
    std::vector<long> ResetAt; // pixel numbers (in encoding order) that filled the table
};

ReferenceResult ReferenceEncode(const Picture& picture, bool interlaced) {
    constexpr int kSlots = 17777;
    ReferenceResult result;
    Bytes& out = result.Data;
    const int initialWidth = std::max(picture.Bits + 1, 3);
    const int clearCode = 1 << (initialWidth - 1);
    const int endCode = clearCode + 1;
    out.push_back(static_cast<std::uint8_t>(initialWidth - 1));

    int bitPosition = 0;
    int codeWidth = initialWidth;
    std::uint8_t buffer[260] = {};
    auto pack = [&](int code) {
        const int index = bitPosition / 8;
        const std::uint32_t v = static_cast<std::uint32_t>(code) << (bitPosition % 8);
        buffer[index] |= static_cast<std::uint8_t>(v);
        buffer[index + 1] = static_cast<std::uint8_t>(v >> 8);
        buffer[index + 2] = static_cast<std::uint8_t>(v >> 16);
        bitPosition += codeWidth;
        if (bitPosition >= 2040) {
            out.push_back(255);
            out.insert(out.end(), buffer, buffer + 255);
            buffer[0] = buffer[255];
            buffer[1] = buffer[256];
            std::memset(buffer + 2, 0, 255);
            bitPosition -= 2040;
        }
    };

    std::vector<int> prefix(4096), code(4096), suffix(4096);
    std::vector<int> slots(kSlots, -1);
    int current = 0;
    int pending = 0;
    int hash = 0;
    int lastCode = endCode;
    int codeLimit = 1 << initialWidth;
    long pixelNumber = 0;
    pack(clearCode);
    for (int y : RowOrder(picture.Height, interlaced)) {
        for (int x = 0; x < picture.Width; ++x, ++pixelNumber) {
            const int p = picture.At(x, y);
            ++pending;
            if (pending == 1) {
                current = p;
                hash = (p + 3) * 301;
                continue;
            }
            hash = ((p + pending + 4) * hash) % kSlots;
            int slot = hash;
            while (slots[slot] >= 0 &&
                   (prefix[slots[slot]] != current || suffix[slots[slot]] != p)) {
                slot = (slot + 1) % kSlots;
            }
            if (slots[slot] >= 0) {
                current = code[slots[slot]];
                continue;
            }
            pack(current);
            const int n = ++lastCode;
            prefix[n] = current;
            code[n] = n;
            suffix[n] = p;
            slots[slot] = n;
            current = p;
            hash = (p + 3) * 301;
            pending = 1;
            if (n >= codeLimit) {
                codeLimit *= 2;
                ++codeWidth;
            } else if (n >= 4094) {
                pack(current);
                pack(clearCode);
                pending = 0;
                lastCode = endCode;
                codeWidth = initialWidth;
                codeLimit = 1 << initialWidth;
                std::fill(slots.begin(), slots.end(), -1);
                result.ResetAt.push_back(pixelNumber);
            }
        }
    }
    if (pending >= 1) {
        pack(current);
    }
    pack(endCode);
    const int n = (bitPosition + 7) / 8;
    if (n > 0) {
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), buffer, buffer + n);
    }
    out.push_back(0);
    return result;
}

// Checks the sub-block framing: every block but the last holds 255 bytes and
// the terminator ends the data exactly.
::testing::AssertionResult WellFramed(const Bytes& data) {
    std::size_t at = 1;
    std::size_t previous = 255;
    while (at < data.size()) {
        const std::size_t n = data[at];
        if (n == 0) {
            return at + 1 == data.size()
                       ? ::testing::AssertionSuccess()
                       : ::testing::AssertionFailure() << "bytes after terminator";
        }
        if (previous != 255) {
            return ::testing::AssertionFailure() << "short sub-block before the last";
        }
        previous = n;
        at += n + 1;
    }
    return ::testing::AssertionFailure() << "no terminator";
}

struct MemoryInput {
    const Bytes* Data;
    std::size_t Position;
};

int ReadFromMemory(GifFileType* file, GifByteType* buffer, int length) {
    auto* input = static_cast<MemoryInput*>(file->UserData);
    const std::size_t n =
        std::min(static_cast<std::size_t>(length), input->Data->size() - input->Position);
    std::memcpy(buffer, input->Data->data() + input->Position, n);
    input->Position += n;
    return static_cast<int>(n);
}

void PutLE16(Bytes& out, int v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Wraps image data into a minimal GIF file and decodes it with giflib. The
// result holds the decoded rows in picture order; failures are reported.
::testing::AssertionResult DecodeWithGiflib(const Bytes& imageData, const Picture& picture,
                                            bool interlaced, Bytes& decoded) {
    Bytes file = {'G', 'I', 'F', '8', '9', 'a'};
    PutLE16(file, picture.Width);
    PutLE16(file, picture.Height);
    file.push_back(static_cast<std::uint8_t>(0x80 | (picture.Bits - 1)));
    file.push_back(0);
    file.push_back(0);
    for (int i = 0; i < (1 << picture.Bits); ++i) {
        for (int c = 0; c < 3; ++c) {
            file.push_back(static_cast<std::uint8_t>(i));
        }
    }
    file.push_back(0x2C);
    PutLE16(file, 0);
    PutLE16(file, 0);
    PutLE16(file, picture.Width);
    PutLE16(file, picture.Height);
    file.push_back(interlaced ? 0x40 : 0x00);
    file.insert(file.end(), imageData.begin(), imageData.end());
    file.push_back(0x3B);

    MemoryInput input{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&input, ReadFromMemory, &error);
    if (gif == nullptr) {
        return ::testing::AssertionFailure() << "DGifOpen failed: " << error;
    }
    struct Closer {
        GifFileType* Gif;
        ~Closer() {
            int e = 0;
            DGifCloseFile(Gif, &e);
        }
    } closer{gif};
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) != GIF_OK || type != IMAGE_DESC_RECORD_TYPE ||
        DGifGetImageDesc(gif) != GIF_OK) {
        return ::testing::AssertionFailure() << "no image descriptor: " << gif->Error;
    }
    decoded.assign(picture.Pixels.size(), 0xEE);
    for (int y : RowOrder(picture.Height, interlaced)) {
        if (DGifGetLine(gif,
                        decoded.data() +
                            static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.Width),
                        picture.Width) != GIF_OK) {
            return ::testing::AssertionFailure() << "row " << y << " failed: " << gif->Error;
        }
    }
    if (DGifGetRecordType(gif, &type) != GIF_OK || type != TERMINATE_RECORD_TYPE) {
        return ::testing::AssertionFailure() << "image data not properly ended";
    }
    return ::testing::AssertionSuccess();
}

TEST(LzwEncodeBits, KnownByteSequences) {
    struct Case {
        const char* Name;
        int Bits, Width, Height;
        Bytes Pixels;
        Bytes Expected;
    };
    const Case cases[] = {
        {"one 8-bit pixel 5", 8, 1, 1, {5}, {0x08, 0x04, 0x00, 0x0B, 0x04, 0x04, 0x00}},
        {"four 8-bit pixels 7",
         8,
         4,
         1,
         {7, 7, 7, 7},
         {0x08, 0x06, 0x00, 0x0F, 0x08, 0x3C, 0x10, 0x10, 0x00}},
        {"1-bit pixels 1 0", 1, 2, 1, {1, 0}, {0x02, 0x02, 0x0C, 0x0A, 0x00}},
        {"width 0", 8, 0, 1, {}, {0x08, 0x03, 0x00, 0x03, 0x02, 0x00}},
        {"height 0", 8, 3, 0, {}, {0x08, 0x03, 0x00, 0x03, 0x02, 0x00}},
        {"one 4-bit pixel 3", 4, 1, 1, {3}, {0x04, 0x02, 0x70, 0x44, 0x00}},
        {"three 4-bit pixels 9", 4, 3, 1, {9, 9, 9}, {0x04, 0x03, 0x30, 0xC9, 0x08, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Picture picture{c.Bits, c.Width, c.Height, c.Pixels};
        EXPECT_EQ(Encode(picture), c.Expected);
    }
}

TEST(LzwEncodeBits, MatchesReferenceEncoder) {
    struct Size {
        int Width, Height;
    };
    const Size sizes[] = {{1, 1}, {7, 3}, {33, 17}, {1, 40}, {300, 200}};
    const int runLengths[] = {1, 5, 40};
    unsigned seed = 1;
    for (int bits : {1, 4, 8}) {
        for (const Size& size : sizes) {
            for (int run : runLengths) {
                for (bool interlaced : {false, true}) {
                    SCOPED_TRACE(testing::Message()
                                 << bits << "-bit " << size.Width << "x" << size.Height << " run "
                                 << run << (interlaced ? " interlaced" : ""));
                    const Picture picture =
                        RandomPicture(bits, size.Width, size.Height, seed++, run);
                    ASSERT_EQ(Encode(picture, interlaced),
                              ReferenceEncode(picture, interlaced).Data);
                }
            }
        }
    }
}

// Runs of random lengths up to maxRun, each of a random value, running on
// across row ends.
Picture RandomRuns(int bits, int width, int height, unsigned seed, int maxRun) {
    Picture p{bits, width, height, {}};
    std::mt19937 rng(seed);
    const auto total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    while (p.Pixels.size() < total) {
        const auto value = static_cast<std::uint8_t>(rng() % (1u << bits));
        const std::size_t run = std::min<std::size_t>(1 + rng() % static_cast<unsigned>(maxRun),
                                                      total - p.Pixels.size());
        p.Pixels.insert(p.Pixels.end(), run, value);
    }
    return p;
}

// Long runs of one value are encoded by jumping along the strings of that
// value; the strings that reach, the table resets met inside runs and runs
// that go on into the next row must give the plain encoder's bytes.
TEST(LzwEncodeBits, LongRunsMatchReferenceEncoder) {
    struct Case {
        const char* Name;
        Picture Pic;
        bool Interlaced;
    };
    const Case cases[] = {
        {"8-bit runs up to 300, table resets", RandomRuns(8, 1000, 600, 21, 300), false},
        {"8-bit runs up to 3000 over narrow rows", RandomRuns(8, 7, 3000, 22, 3000), false},
        {"8-bit runs up to 40, interlaced", RandomRuns(8, 333, 200, 23, 40), true},
        {"4-bit runs up to 100", RandomRuns(4, 517, 300, 24, 100), false},
        {"1-bit runs up to 1000", RandomRuns(1, 640, 480, 25, 1000), false},
        {"one value throughout", RandomRuns(8, 1200, 900, 26, 1 << 30), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const ReferenceResult reference = ReferenceEncode(c.Pic, c.Interlaced);
        ASSERT_EQ(Encode(c.Pic, c.Interlaced), reference.Data);
    }
}

TEST(LzwEncodeBits, GiflibDecodesRandomPictures) {
    struct Case {
        int Bits, Width, Height;
        bool Interlaced;
    };
    const Case cases[] = {
        {1, 1, 1, false},  {1, 13, 9, false},    {1, 257, 129, true},  {4, 1, 30, false},
        {4, 13, 9, true},  {4, 257, 129, false}, {8, 1, 1, false},     {8, 1, 300, true},
        {8, 13, 9, false}, {8, 257, 129, true},  {8, 640, 480, false},
    };
    unsigned seed = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Bits << "-bit " << c.Width << "x" << c.Height
                                        << (c.Interlaced ? " interlaced" : ""));
        for (int run : {1, 7}) {
            const Picture picture = RandomPicture(c.Bits, c.Width, c.Height, seed++, run);
            const Bytes data = Encode(picture, c.Interlaced);
            EXPECT_TRUE(WellFramed(data));
            Bytes decoded;
            ASSERT_TRUE(DecodeWithGiflib(data, picture, c.Interlaced, decoded));
            EXPECT_EQ(decoded, picture.Pixels);
        }
    }
}

// Finds the shortest one-row prefix of a long random row for which pick holds.
template <class Pick> Picture ShortestPrefix(int bits, unsigned seed, Pick pick) {
    const Picture full = RandomPicture(bits, 20000, 1, seed);
    for (int width = 1; width <= full.Width; ++width) {
        Picture p{bits, width, 1, Bytes(full.Pixels.begin(), full.Pixels.begin() + width)};
        if (pick(p)) {
            return p;
        }
    }
    return {};
}

TEST(LzwEncodeBits, TableResetAtTheLastPixel) {
    for (int bits : {1, 8}) {
        SCOPED_TRACE(testing::Message() << bits << "-bit");
        // Cut a long random row right after the pixel that fills the table.
        const Picture full = RandomPicture(bits, 100000, 1, 7);
        const auto resets = ReferenceEncode(full, false).ResetAt;
        ASSERT_FALSE(resets.empty());
        const int width = static_cast<int>(resets.front()) + 1;
        const Picture picture{bits, width, 1,
                              Bytes(full.Pixels.begin(), full.Pixels.begin() + width)};
        const Bytes data = Encode(picture);
        EXPECT_EQ(data, ReferenceEncode(picture, false).Data);
        Bytes decoded;
        ASSERT_TRUE(DecodeWithGiflib(data, picture, false, decoded));
        EXPECT_EQ(decoded, picture.Pixels);

        // One pixel more starts a fresh table.
        Picture longer{bits, width + 1, 1,
                       Bytes(full.Pixels.begin(), full.Pixels.begin() + width + 1)};
        ASSERT_TRUE(DecodeWithGiflib(Encode(longer), longer, false, decoded));
        EXPECT_EQ(decoded, longer.Pixels);
    }
}

TEST(LzwEncodeBits, CodesEndingOnASubBlockBoundary) {
    const Picture picture = ShortestPrefix(8, 11, [](const Picture& p) {
        const Bytes data = ReferenceEncode(p, false).Data;
        return data.size() > 2 && (data.size() - 2) % 256 == 0;
    });
    ASSERT_GT(picture.Width, 0);
    const Bytes data = Encode(picture);
    ASSERT_GE(data.size(), 258u);
    EXPECT_EQ(data[data.size() - 257], 255); // the last sub-block is a full one
    EXPECT_EQ(data.back(), 0);
    EXPECT_TRUE(WellFramed(data));
    Bytes decoded;
    ASSERT_TRUE(DecodeWithGiflib(data, picture, false, decoded));
    EXPECT_EQ(decoded, picture.Pixels);
}

TEST(NextInterlacedRow, VisitsEveryRowInPassOrder) {
    for (int height : {1, 2, 3, 4, 5, 8, 9, 17, 100}) {
        SCOPED_TRACE(height);
        std::vector<int> visited;
        int pass = 0;
        for (int row = 0; row < height; row = gif::NextInterlacedRow(row, height, pass)) {
            visited.push_back(row);
        }
        EXPECT_EQ(visited, RowOrder(height, true));
    }
    int pass = 0;
    std::vector<int> five;
    for (int row = 0; row < 5; row = gif::NextInterlacedRow(row, 5, pass)) {
        five.push_back(row);
    }
    EXPECT_EQ(five, (std::vector<int>{0, 4, 2, 1, 3}));
}

struct Report {
    gif::TProgressStage Stage;
    int Percent;
    std::string Message;
    bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Report& r) {
    return os << "(" << static_cast<int>(r.Stage) << ", " << r.Percent << ", \"" << r.Message
              << "\")";
}

TEST(LzwEncodeBits, ReportsProgressPerRow) {
    using S = gif::TProgressStage;
    struct Case {
        int Height;
        bool Interlaced;
        std::vector<int> Running;
    };
    const Case cases[] = {
        {3, false, {33, 66, 100}},
        {1, true, {100}},
        // Rows 0, 2, 1, 3: after the last one the next row would be 5 (125 %).
        {4, true, {50, 25, 75, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Height);
        std::vector<Report> reports;
        const Picture picture = RandomPicture(8, 5, c.Height, 3);
        Encode(picture, c.Interlaced,
               [&](S stage, std::uint8_t percent, const std::string& message) {
                   reports.push_back({stage, percent, message});
               });
        std::vector<Report> expected = {{S::psStarting, 0, ""}};
        for (int percent : c.Running) {
            expected.push_back({S::psRunning, percent, ""});
        }
        expected.push_back({S::psEnding, 100, ""});
        EXPECT_EQ(reports, expected);
    }
}

TEST(LzwEncodeBits, AbortFromTheProgressHandlerPropagatesAfterTheEndingReport) {
    using S = gif::TProgressStage;
    const Picture picture = RandomPicture(8, 64, 10, 5);
    const Bytes rows = picture.StoredRows();
    platform::TMemoryStream out;
    std::vector<Report> reports;
    auto handler = [&](S stage, std::uint8_t percent, const std::string& message) {
        reports.push_back({stage, percent, message});
        if (stage == S::psRunning && percent >= 20) {
            throw platform::EAbort();
        }
    };
    EXPECT_THROW(gif::LzwEncodeBits(out, picture.Header(), false, rows.data(), handler),
                 platform::EAbort);
    const std::vector<Report> expected = {{S::psStarting, 0, ""},
                                          {S::psRunning, 10, ""},
                                          {S::psRunning, 20, ""},
                                          {S::psEnding, 0, "Operation aborted"}};
    EXPECT_EQ(reports, expected);
    ASSERT_GE(out.ByteSize(), 1u);
    EXPECT_EQ(out.Memory()[0], 8);

    // The encoder is usable again afterwards and gives the usual result.
    EXPECT_EQ(Encode(picture), ReferenceEncode(picture, false).Data);
}

// A destination that fails once it holds a given number of bytes.
class FailingStream : public platform::TMemoryStream {
public:
    explicit FailingStream(std::size_t limit) : limit_(limit) {}
    std::size_t Write(const void* buffer, std::size_t count) override {
        if (ByteSize() + count > limit_) {
            throw platform::EStreamError("Out of memory while expanding memory stream");
        }
        return TMemoryStream::Write(buffer, count);
    }

private:
    std::size_t limit_;
};

TEST(LzwEncodeBits, StreamFailureIsReportedAndPropagates) {
    using S = gif::TProgressStage;
    const Picture picture = RandomPicture(8, 200, 200, 9);
    const Bytes rows = picture.StoredRows();
    for (std::size_t limit : {0u, 1u, 3000u}) {
        SCOPED_TRACE(limit);
        FailingStream out(limit);
        std::vector<Report> reports;
        EXPECT_THROW(
            gif::LzwEncodeBits(out, picture.Header(), false, rows.data(),
                               [&](S stage, std::uint8_t percent, const std::string& message) {
                                   reports.push_back({stage, percent, message});
                               }),
            platform::EStreamError);
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back(),
                  (Report{S::psEnding, 0, "Out of memory while expanding memory stream"}));
        EXPECT_LE(out.ByteSize(), limit);
    }
}

} // namespace
