#include "profile/Record.h"

#include "platform/TextEncoding.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profile {
namespace {

// The sample as written in this source (UTF-8); SampleRecord() converts it once.
constexpr std::array<std::string_view, kRecordLineCount> kSampleUtf8 = {
    "Результаты ответов на вопросы анкеты Мильмана",
    "Код: 11111  Имя: Ковылин-Ярский Т.Н.  Дата ПФО: 22.06.2011 10:01:17",
    "Время изучения инструкции   11.08 sec",
    "Окончание теста: 10:02:32",
    "Время выполнения теста  1.1 мин",
    "",
    "Мотивационная структура",
    "Шк Ож-Ид Ож-Ре Рб-Ид Рб-Ре",
    " П     6     6     8     7",
    " К     9     6     6     3",
    " С     8     6     8    12",
    " О     8     7     6     7",
    " Д     3     9     3    10",
    "ДР     8     4    11     6",
    "ОД     8     9     4     8",
    "",
    "Дополнительные шкалы",
    "  Эа  Эс  Фа  Фс",
    "  10   4   8   8",
};

constexpr std::array<std::string_view, kScaleCount> kScaleLabelsUtf8 = {" П", " К", " С", " О",
                                                                        " Д", "ДР", "ОД"};

[[noreturn]] void ThrowNotInteger(std::string_view cp1251Text) {
    throw platform::EConvertError("'" + platform::Cp1251ToUtf8(cp1251Text) +
                                  "' is not a valid integer value");
}

[[noreturn]] void ThrowCannotOpen(const std::string& fileName, const std::string& reason) {
    throw ERecordError("Cannot open file " + fileName + ": " + reason);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Closes a file descriptor on every path.
class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

} // namespace

const TRecordLines& SampleRecord() {
    static const TRecordLines lines = [] {
        TRecordLines converted;
        converted.reserve(kSampleUtf8.size());
        for (std::string_view line : kSampleUtf8) {
            converted.push_back(platform::Utf8ToCp1251(line));
        }
        return converted;
    }();
    return lines;
}

const std::array<std::string, kScaleCount>& ScaleLabels() {
    static const std::array<std::string, kScaleCount> labels = [] {
        std::array<std::string, kScaleCount> converted;
        for (std::size_t i = 0; i < converted.size(); ++i) {
            converted[i] = platform::Utf8ToCp1251(kScaleLabelsUtf8[i]);
        }
        return converted;
    }();
    return labels;
}

std::int32_t StrToInt(std::string_view cp1251Text) {
    std::size_t i = 0;
    const std::size_t n = cp1251Text.size();
    while (i < n && cp1251Text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < n && (cp1251Text[i] == '+' || cp1251Text[i] == '-')) {
        negative = cp1251Text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && cp1251Text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && cp1251Text[i] == '0' &&
               (cp1251Text[i + 1] == 'x' || cp1251Text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == n) {
        ThrowNotInteger(cp1251Text);
    }
    // The magnitude may reach 2^31 for a negative number; anything beyond
    // fails rather than wrapping around.
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    for (; i < n; ++i) {
        const int digit = HexDigit(cp1251Text[i]);
        if (digit < 0 || digit >= base) {
            ThrowNotInteger(cp1251Text);
        }
        magnitude = magnitude * base + digit;
        if (magnitude > kLimit) {
            ThrowNotInteger(cp1251Text);
        }
    }
    if (!negative && magnitude == kLimit) {
        ThrowNotInteger(cp1251Text);
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::int32_t ParseField(std::string_view line, int firstPosition, int length) {
    const auto start = static_cast<std::size_t>(firstPosition - 1);
    const std::string_view field = start < line.size()
                                       ? line.substr(start, static_cast<std::size_t>(length))
                                       : std::string_view();
    return StrToInt(field);
}

TMotivationalProfile ParseProfile(const TRecordLines& lines) {
    if (lines.size() < static_cast<std::size_t>(kRecordLineCount)) {
        throw ERecordError("A results record has " + std::to_string(kRecordLineCount) +
                           " lines, not " + std::to_string(lines.size()));
    }
    TMotivationalProfile profile{};
    for (int k = 1; k <= kScaleCount; ++k) {
        const std::string& line = lines[static_cast<std::size_t>(k + 7)];
        profile[static_cast<std::size_t>(k - 1)] = ParseField(line, 6, 3);
        profile[static_cast<std::size_t>(k + 6)] = ParseField(line, 12, 3);
        profile[static_cast<std::size_t>(k + 13)] = ParseField(line, 18, 3);
        profile[static_cast<std::size_t>(k + 20)] = ParseField(line, 24, 3);
    }
    for (int i = 1; i <= 4; ++i) {
        profile[static_cast<std::size_t>(27 + i)] = ParseField(lines[18], 4 * i - 3, 4);
    }
    return profile;
}

TRecordLines SplitRecordText(std::string_view bytes, const std::string& fileName) {
    if (bytes.size() > kMaxRecordFileSize) {
        ThrowCannotOpen(fileName, "larger than " + std::to_string(kMaxRecordFileSize) +
                                      " bytes, not a results record");
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const bool lineEnd =
            c == '\n' || (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n');
        if ((c < 0x20 && c != '\t' && !lineEnd) || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", c);
            ThrowCannotOpen(fileName, std::string("not a text file (byte ") + hex + " at offset " +
                                          std::to_string(i) + ")");
        }
    }

    TRecordLines lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        if (end > start && bytes[end - 1] == '\r') {
            --end;
        }
        lines.emplace_back(bytes.substr(start, end - start));
        start = next;
    }

    for (std::size_t i = kRecordLineCount; i < lines.size(); ++i) {
        if (!lines[i].empty()) {
            ThrowCannotOpen(fileName, "text after the " + std::to_string(kRecordLineCount) +
                                          " lines of a results record (line " +
                                          std::to_string(i + 1) + ")");
        }
    }
    if (lines.size() < static_cast<std::size_t>(kRecordLineCount)) {
        const std::string count = std::to_string(lines.size());
        ThrowCannotOpen(fileName, "the file has " + count +
                                      (lines.size() == 1 ? " line" : " lines") +
                                      ", a results record has " + std::to_string(kRecordLineCount));
    }
    lines.resize(kRecordLineCount);
    return lines;
}

std::string JoinRecordText(const TRecordLines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string RecordBaseName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    constexpr std::string_view kEnding = ".Result";
    if (name.size() > kEnding.size() && name.substr(name.size() - kEnding.size()) == kEnding) {
        name.remove_suffix(kEnding.size());
    }
    return std::string(name);
}

TLoadedRecord LoadRecordFile(const std::string& path) {
    const TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        ThrowCannotOpen(path, std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        ThrowCannotOpen(path, std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        ThrowCannotOpen(path, "not a regular file");
    }
    // Read one byte more than a record may have, so that a longer file is seen
    // whatever its reported size.
    std::string bytes(kMaxRecordFileSize + 1, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ThrowCannotOpen(path, std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);

    TLoadedRecord record;
    record.Lines = SplitRecordText(bytes, path);
    record.Profile = ParseProfile(record.Lines);
    record.BaseName = RecordBaseName(path);
    return record;
}

TLoadedRecord LoadSampleRecord() {
    TLoadedRecord record;
    record.Lines = SplitRecordText(JoinRecordText(SampleRecord()), "(sample)");
    record.Profile = ParseProfile(record.Lines);
    record.BaseName = std::string(kSampleBaseName);
    return record;
}

} // namespace profile
