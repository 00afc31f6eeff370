#include "platform/Streams.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::int64_t TStream::Size() {
    const std::int64_t position = Seek(0, SeekOrigin::Current);
    const std::int64_t size = Seek(0, SeekOrigin::End);
    Seek(position, SeekOrigin::Begin);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count) {
        throw EReadError();
    }
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count) {
        throw EWriteError();
    }
}

// ---------------------------------------------------------------------------

void TMemoryStream::Grow(std::size_t size) {
    try {
        if (size > data_.size()) {
            if (size > data_.capacity()) {
                data_.reserve(std::max(size, data_.capacity() + data_.capacity() / 2));
            }
            data_.resize(size);
        }
    } catch (const std::bad_alloc&) {
        throw EStreamError("Out of memory while expanding memory stream");
    } catch (const std::length_error&) {
        throw EStreamError("Out of memory while expanding memory stream");
    }
}

void TMemoryStream::Reserve(std::size_t capacity) {
    try {
        data_.reserve(capacity);
    } catch (const std::exception&) {
        throw EStreamError("Out of memory while expanding memory stream");
    }
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= size_) {
        return 0;
    }
    const std::size_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    const std::size_t end = position_ + count;
    if (end > size_) {
        Grow(end);
        size_ = end;
    }
    std::memcpy(data_.data() + position_, buffer, count);
    position_ = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current) {
        base = static_cast<std::int64_t>(position_);
    } else if (origin == SeekOrigin::End) {
        base = static_cast<std::int64_t>(size_);
    }
    const std::int64_t target = base + offset;
    position_ = target < 0 ? 0 : static_cast<std::size_t>(target);
    return static_cast<std::int64_t>(position_);
}

void TMemoryStream::SetSize(std::int64_t size) {
    const std::size_t n = size < 0 ? 0 : static_cast<std::size_t>(size);
    Grow(n);
    size_ = n;
    if (position_ > size_) {
        position_ = size_;
    }
}

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& path, FileMode mode) {
    if (mode == FileMode::Create) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            throw EFCreateError(path);
        }
    } else {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            throw EFOpenError(path);
        }
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void TFileStream::Close() {
    if (fd_ < 0) {
        return;
    }
    const int fd = fd_;
    fd_ = -1;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    if (::close(fd) != 0 || !synced) {
        throw EWriteError();
    }
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    std::size_t done = 0;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(fd_, bytes + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    std::size_t done = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    const off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (result < 0) {
        throw EStreamError("Stream seek error");
    }
    return result;
}

void TFileStream::SetSize(std::int64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        throw EWriteError();
    }
}

// ---------------------------------------------------------------------------

void WriteFileAtomically(const std::string& path, const std::function<void(TStream&)>& write) {
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "." + name + ".XXXXXX";

    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw EFCreateError(path);
    }
    // mkstemp creates the file private; give it the permissions a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);

    try {
        TFileStream stream(temp, FileMode::Create);
        write(stream);
        stream.Close();
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            throw EFCreateError(path);
        }
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
}

} // namespace platform
