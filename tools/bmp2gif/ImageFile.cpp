#include "tools/bmp2gif/ImageFile.h"

#include "platform/Exceptions.h"
#include "platform/Streams.h"

#include <cstring>

namespace tools {

namespace {

[[noreturn]] void FailPpm(const std::string& reason) {
    throw platform::EInvalidGraphic("PPM image is not valid: " + reason);
}

// The header fields of a binary PPM: whitespace-separated decimal numbers, with
// comments from '#' to the end of a line.
class TPpmHeaderReader {
public:
    TPpmHeaderReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::int64_t Number() {
        SkipSpaceAndComments();
        if (position_ >= size_) {
            FailPpm("the header is truncated");
        }
        if (data_[position_] < '0' || data_[position_] > '9') {
            FailPpm("the header holds a non-number");
        }
        std::int64_t value = 0;
        while (position_ < size_ && data_[position_] >= '0' && data_[position_] <= '9') {
            value = value * 10 + (data_[position_] - '0');
            if (value > 1'000'000'000) {
                FailPpm("a header number is too large");
            }
            ++position_;
        }
        return value;
    }

    // The single whitespace byte that ends the header.
    std::size_t PixelOffset() {
        if (position_ >= size_ || !IsSpace(data_[position_])) {
            FailPpm("the header does not end in whitespace");
        }
        return position_ + 1;
    }

    void Skip(std::size_t count) { position_ += count; }

private:
    static bool IsSpace(std::uint8_t c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    void SkipSpaceAndComments() {
        while (position_ < size_) {
            if (IsSpace(data_[position_])) {
                ++position_;
            } else if (data_[position_] == '#') {
                while (position_ < size_ && data_[position_] != '\n') {
                    ++position_;
                }
            } else {
                break;
            }
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

std::unique_ptr<platform::TBitmap> ReadPpm(const std::uint8_t* data, std::size_t size) {
    TPpmHeaderReader header(data, size);
    header.Skip(2); // "P6"
    const std::int64_t width = header.Number();
    const std::int64_t height = header.Number();
    const std::int64_t maxval = header.Number();
    if (width <= 0 || height <= 0 || width > platform::kMaxBitmapSide ||
        height > platform::kMaxBitmapSide || width * height > (std::int64_t{1} << 28)) {
        FailPpm("unsupported dimensions " + std::to_string(width) + " x " + std::to_string(height));
    }
    if (maxval != 255) {
        FailPpm("unsupported maximum value " + std::to_string(maxval));
    }
    const std::size_t offset = header.PixelOffset();
    const std::int64_t rowBytes = width * 3;
    if (static_cast<std::int64_t>(size - offset) < rowBytes * height) {
        FailPpm("the file is truncated");
    }
    auto bitmap = std::make_unique<platform::TBitmap>();
    bitmap->SetPixelFormat(platform::TPixelFormat::pf24bit);
    bitmap->SetSize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    const std::uint8_t* source = data + offset;
    for (std::int32_t y = 0; y < bitmap->Height(); ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        for (std::int64_t x = 0; x < width; ++x) {
            row[3 * x] = source[3 * x + 2];
            row[3 * x + 1] = source[3 * x + 1];
            row[3 * x + 2] = source[3 * x];
        }
        source += rowBytes;
    }
    return bitmap;
}

// A stream over bytes the caller keeps.
class TByteReader : public platform::TStream {
public:
    TByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Read(void* buffer, std::size_t count) override {
        const std::size_t n = position_ < size_ ? std::min(count, size_ - position_) : 0;
        if (n > 0) {
            std::memcpy(buffer, data_ + position_, n);
        }
        position_ += n;
        return n;
    }
    std::size_t Write(const void* /*buffer*/, std::size_t /*count*/) override { return 0; }
    std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override {
        const std::int64_t base = origin == platform::SeekOrigin::Begin ? 0
                                  : origin == platform::SeekOrigin::Current
                                      ? std::int64_t(position_)
                                      : std::int64_t(size_);
        const std::int64_t target = base + offset;
        position_ = target < 0 ? 0 : static_cast<std::size_t>(target);
        return static_cast<std::int64_t>(position_);
    }
    void SetSize(std::int64_t /*size*/) override { throw platform::EWriteError(); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

} // namespace

std::unique_ptr<platform::TBitmap> ReadImage(const std::uint8_t* data, std::size_t size) {
    if (size >= 2 && data[0] == 'P' && data[1] == '6') {
        return ReadPpm(data, size);
    }
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        TByteReader stream(data, size);
        auto bitmap = std::make_unique<platform::TBitmap>();
        bitmap->LoadFromStream(stream);
        return bitmap;
    }
    throw platform::EInvalidGraphic("not a BMP or binary PPM image");
}

std::unique_ptr<platform::TBitmap> ReadImageFile(const std::string& path) {
    platform::TFileStream file(path, platform::FileMode::OpenRead);
    const std::int64_t size = file.Size();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.SetPosition(0);
    file.ReadBuffer(bytes.data(), bytes.size());
    return ReadImage(bytes.data(), bytes.size());
}

} // namespace tools
