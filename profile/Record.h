// The results record: nineteen lines of Windows-1251 text with the scores in
// fixed columns, the embedded sample record, the seven scale labels, and the
// parse of the 32-integer motivational profile. No Qt: the record stays 8-bit
// bytes here and becomes Unicode only where it is shown.
#pragma once

#include "platform/Exceptions.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace profile {

constexpr int kRecordLineCount = 19;
constexpr int kScaleCount = 7;
constexpr int kProfileSize = 32;

// A record file larger than this cannot be a results record.
constexpr std::size_t kMaxRecordFileSize = 64 * 1024;

// Record lines as Windows-1251 bytes, without line ends.
using TRecordLines = std::vector<std::string>;

// Elements 0-6 general life ideal, 7-13 general life real, 14-20 work/study
// ideal, 21-27 work/study real (scales 1 to 7 each), 28-31 the emotional
// scores.
using TMotivationalProfile = std::array<std::int32_t, kProfileSize>;

// A record that failed to load: the file cannot be read or is not a results
// record. The message names the file.
class ERecordError : public platform::Exception {
    using Exception::Exception;
};

// The record the program carries inside itself: nineteen Windows-1251 lines.
const TRecordLines& SampleRecord();

// The output base name of the embedded sample.
inline constexpr std::string_view kSampleBaseName = "11111.Milman";

// " П", " К", " С", " О", " Д", "ДР", "ОД" as Windows-1251 bytes, in scale order.
const std::array<std::string, kScaleCount>& ScaleLabels();

// The platform's text-to-integer conversion: leading blanks skipped, an
// optional sign, "$" or "0x" for hexadecimal digits, nothing after the digits.
// Anything else, and a value outside the signed 32-bit range, fails with
// EConvertError "'<text>' is not a valid integer value" (text as UTF-8).
std::int32_t StrToInt(std::string_view cp1251Text);

// The field of `line` that starts at the 1-based `firstPosition` and spans
// `length` bytes (shorter or empty where the line ends early), converted by
// StrToInt.
std::int32_t ParseField(std::string_view line, int firstPosition, int length);

// Parses the 32 scores of a record in the order Open reads them: lines 8-14
// with their four fields each, then the four fields of line 18. The first field
// that does not convert ends the parse with its conversion failure. Fails with
// ERecordError when `lines` holds fewer than nineteen lines.
TMotivationalProfile ParseProfile(const TRecordLines& lines);

// Splits the bytes of a record file into its nineteen lines. Lines end in
// CR LF or LF; the last line may lack its line end; empty lines after the
// nineteenth are ignored. Fails with ERecordError naming `fileName` when the
// bytes exceed kMaxRecordFileSize, hold a control byte other than tab, CR
// (before LF) and LF, or do not make exactly nineteen lines.
TRecordLines SplitRecordText(std::string_view bytes, const std::string& fileName);

// The bytes of a record file: each line followed by CR LF.
std::string JoinRecordText(const TRecordLines& lines);

// A record read and parsed completely; nothing of it is half-done.
struct TLoadedRecord {
    TRecordLines Lines;
    TMotivationalProfile Profile{};
    std::string BaseName; // the file's name without its ".Result" ending
};

// Reads the file at `path` (UTF-8 file name), splits and parses it. Fails with
// ERecordError "Cannot open file <path>: <reason>" when the file cannot be
// read or is not a results record, and with EConvertError for a field that
// does not convert.
TLoadedRecord LoadRecordFile(const std::string& path);

// The embedded sample, loaded through the same split and parse as a file.
TLoadedRecord LoadSampleRecord();

// The file name of `path` without its folder and its ".Result" ending.
std::string RecordBaseName(std::string_view path);

} // namespace profile
