// Byte streams: the abstract stream, a growable memory stream, a file stream,
// and the write-to-temporary-then-rename helper that keeps earlier files intact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Transfer up to count bytes; return how many were transferred.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual void SetSize(std::int64_t size) = 0;

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }
    std::int64_t Size();

    // Transfer exactly count bytes or fail with EReadError / EWriteError.
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);
    void WriteByte(std::uint8_t value) { WriteBuffer(&value, 1); }
};

// A stream in memory. Growth keeps capacity, so a stream that is emptied with
// SetSize(0) and refilled reuses its memory. Running out of memory while
// growing fails with EStreamError "Out of memory while expanding memory stream".
class TMemoryStream : public TStream {
public:
    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    void SetSize(std::int64_t size) override;

    std::uint8_t* Memory() { return data_.data(); }
    const std::uint8_t* Memory() const { return data_.data(); }
    std::size_t ByteSize() const { return size_; }
    void Clear() { SetSize(0); }
    void Reserve(std::size_t capacity);

private:
    void Grow(std::size_t size);
    std::vector<std::uint8_t> data_;
    std::size_t size_ = 0;
    std::size_t position_ = 0;
};

enum class FileMode { Create, OpenRead };

// A file opened for reading or created (truncated) for writing; closed by the
// destructor on every path. Create fails with EFCreateError "Cannot create file
// <path>", OpenRead with EFOpenError "Cannot open file <path>".
class TFileStream : public TStream {
public:
    TFileStream(const std::string& path, FileMode mode);
    ~TFileStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    void SetSize(std::int64_t size) override;

    // Flush to disk and close; reports a failure, unlike the destructor.
    void Close();

private:
    int fd_ = -1;
};

// Writes a file through a temporary file in the target's folder, renamed over
// the target only when write() has returned and the data is on disk. On any
// failure the temporary file is removed and an earlier target stays intact.
// A temporary file that cannot be created fails with EFCreateError naming path.
void WriteFileAtomically(const std::string& path, const std::function<void(TStream&)>& write);

} // namespace platform
