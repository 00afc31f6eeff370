#include "platform/TextEncoding.h"
#include "profile/Record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::Cp1251ToUtf8;
using platform::Utf8ToCp1251;
namespace fs = std::filesystem;

// The message of the exception `action` throws, or nothing when it returns.
template <typename Exception, typename Action> std::optional<std::string> FailureOf(Action action) {
    try {
        action();
    } catch (const Exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

TEST(SampleRecord, HoldsNineteenWindows1251Lines) {
    const profile::TRecordLines& sample = profile::SampleRecord();
    ASSERT_EQ(sample.size(), 19u);
    EXPECT_EQ(Cp1251ToUtf8(sample[1]),
              "Код: 11111  Имя: Ковылин-Ярский Т.Н.  Дата ПФО: 22.06.2011 10:01:17");
    EXPECT_EQ(sample[5], "");
    EXPECT_EQ(sample[15], "");
    // Fixed columns count bytes: one byte per Cyrillic letter.
    for (int line = 8; line <= 14; ++line) {
        EXPECT_EQ(sample[static_cast<std::size_t>(line)].size(), 26u) << line;
    }
    EXPECT_EQ(sample[18], "  10   4   8   8");
}

TEST(ScaleLabels, AreTheFirstTwoCharactersOfTheScaleLines) {
    const auto& labels = profile::ScaleLabels();
    const char* const expected[] = {" П", " К", " С", " О", " Д", "ДР", "ОД"};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(labels[i].size(), 2u);
        EXPECT_EQ(Cp1251ToUtf8(labels[i]), expected[i]);
        EXPECT_EQ(profile::SampleRecord()[i + 8].substr(0, 2), labels[i]);
    }
}

TEST(ParseProfile, SampleGivesItsThirtyTwoScores) {
    const profile::TMotivationalProfile expected = {6,  9, 8,  8, 3,  8,  8, // general life, ideal
                                                    6,  6, 6,  7, 9,  4,  9, // general life, real
                                                    8,  6, 8,  6, 3,  11, 4, // work/study, ideal
                                                    7,  3, 12, 7, 10, 6,  8, // work/study, real
                                                    10, 4, 8,  8};           // emotional
    EXPECT_EQ(profile::ParseProfile(profile::SampleRecord()), expected);
}

struct FieldCase {
    const char* line; // UTF-8, converted to Windows-1251
    int position;
    int length;
    std::optional<std::int32_t> value; // nothing: the conversion fails
    const char* failingText;           // the %s of the failure message
};

TEST(ParseField, FollowsTheTextToIntegerRules) {
    const FieldCase cases[] = {
        {" П     6     6     8     7", 6, 3, 6, ""},
        {" С     8     6     8    12", 24, 3, 12, ""},
        {"  10   4   8   8", 1, 4, 10, ""},
        {"  10   4   8   8", 13, 4, 8, ""},
        {"x   -7", 4, 3, -7, ""},
        {"x  +15", 4, 3, 15, ""},
        {"$1F", 1, 3, 31, ""},
        {"0x1f", 1, 4, 31, ""},
        {" -$A", 1, 4, -10, ""},
        {"2147483647", 1, 10, 2147483647, ""},
        {"-2147483648", 1, 11, INT32_MIN, ""},
        {"-$80000000", 1, 10, INT32_MIN, ""},
        // Failures: a blank after the digits, no digits, stray characters.
        {" 6     ", 1, 3, std::nullopt, " 6 "},
        {"   ", 1, 3, std::nullopt, "   "},
        {"  -", 1, 3, std::nullopt, "  -"},
        {"  $", 1, 3, std::nullopt, "  $"},
        {"0x", 1, 2, std::nullopt, "0x"},
        {"1 2", 1, 3, std::nullopt, "1 2"},
        {"- 5", 1, 3, std::nullopt, "- 5"},
        {"12a", 1, 3, std::nullopt, "12a"},
        {"$1G", 1, 3, std::nullopt, "$1G"},
        {"  П", 1, 3, std::nullopt, "  П"},
        // A line that ends early: a short field, or an empty one.
        {" П     6     6     8", 24, 3, std::nullopt, ""},
        {" П     6     6     8   1", 24, 3, 1, ""},
        {" П     6     6     8    ", 24, 3, std::nullopt, " "},
        {" П     6     6     8   ", 24, 3, std::nullopt, ""},
        // Outside the signed 32-bit range: no wrap-around.
        {"2147483648", 1, 10, std::nullopt, "2147483648"},
        {"-2147483649", 1, 11, std::nullopt, "-2147483649"},
        {"$FFFFFFFF", 1, 9, std::nullopt, "$FFFFFFFF"},
        {"99999999999999999999", 1, 20, std::nullopt, "99999999999999999999"},
    };
    for (const FieldCase& c : cases) {
        const std::string line = Utf8ToCp1251(c.line);
        SCOPED_TRACE(std::string(c.line) + " @" + std::to_string(c.position));
        if (c.value) {
            EXPECT_EQ(profile::ParseField(line, c.position, c.length), *c.value);
        } else {
            EXPECT_EQ(FailureOf<platform::EConvertError>(
                          [&] { profile::ParseField(line, c.position, c.length); }),
                      "'" + std::string(c.failingText) + "' is not a valid integer value");
        }
    }
}

TEST(ParseProfile, StopsAtTheFirstBadFieldInReadingOrder) {
    profile::TRecordLines lines = profile::SampleRecord();
    lines[18] = "  10   X   8   8";
    lines[12] = Utf8ToCp1251(" Д     3     9     3   1 0");
    EXPECT_EQ(FailureOf<platform::EConvertError>([&] { profile::ParseProfile(lines); }),
              "'1 0' is not a valid integer value");
}

class RecordFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("record_tests_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder_ / "locked.Result", fs::perms::owner_all, ignored);
        fs::remove_all(folder_, ignored);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    static std::string SampleText(const char* lineEnd) {
        std::string text;
        for (const std::string& line : profile::SampleRecord()) {
            text += line + lineEnd;
        }
        return text;
    }
    fs::path folder_;
};

TEST_F(RecordFileTest, ReadsCrLfAndLfFilesAlike) {
    const std::string crlf = Write("crlf.Result", SampleText("\r\n"));
    const std::string lf = Write("11111.Milman.Result", SampleText("\n"));
    // No line end after the last line, and empty lines after it, are fine too.
    std::string trailing = SampleText("\r\n");
    trailing.resize(trailing.size() - 2);
    const std::string noEnd = Write("no-end.Result", trailing);
    const std::string blankTail = Write("blank-tail.Result", SampleText("\n") + "\n\r\n\n");

    const profile::TLoadedRecord sample = profile::LoadSampleRecord();
    for (const std::string& path : {crlf, lf, noEnd, blankTail}) {
        SCOPED_TRACE(path);
        const profile::TLoadedRecord record = profile::LoadRecordFile(path);
        EXPECT_EQ(record.Lines, profile::SampleRecord());
        EXPECT_EQ(record.Profile, sample.Profile);
    }
    EXPECT_EQ(profile::LoadRecordFile(lf).BaseName, "11111.Milman");
    EXPECT_EQ(profile::LoadRecordFile(crlf).BaseName, "crlf");
    EXPECT_EQ(sample.BaseName, "11111.Milman");
}

TEST_F(RecordFileTest, JoinedSampleIsTheFileTheBuildWrites) {
    const std::string text = profile::JoinRecordText(profile::SampleRecord());
    EXPECT_EQ(text.substr(0, 2), Utf8ToCp1251("Ре"));
    EXPECT_EQ(text.substr(text.size() - 18), "  10   4   8   8\r\n");
    EXPECT_EQ(profile::SplitRecordText(text, "x"), profile::SampleRecord());
}

TEST_F(RecordFileTest, MalformedFilesFailNamingTheProblem) {
    const std::string good = SampleText("\r\n");
    std::string badField = good;
    badField.replace(badField.find("  10   4"), 8, "  1O   4");
    std::string binary = good;
    binary[40] = '\0';
    std::string escape = good;
    escape[41] = '\x1B';
    std::string loneCr = good;
    loneCr[42] = '\r';
    const std::string large = good + std::string(profile::kMaxRecordFileSize, '\n');

    struct Case {
        std::string name;
        std::string bytes;
        std::string message; // after "Cannot open file <path>", or the whole conversion message
    };
    const Case cases[] = {
        {"empty.Result", "", ": the file has 0 lines, a results record has 19"},
        {"short.Result", good.substr(0, good.find("\r\n  10")),
         ": the file has 18 lines, a results record has 19"},
        {"extra.Result", good + "\r\nmore\r\n",
         ": text after the 19 lines of a results record (line 21)"},
        {"binary.Result", binary, ": not a text file (byte 0x00 at offset 40)"},
        {"escape.Result", escape, ": not a text file (byte 0x1B at offset 41)"},
        {"cr.Result", loneCr, ": not a text file (byte 0x0D at offset 42)"},
        {"large.Result", large, ": larger than 65536 bytes, not a results record"},
        {"field.Result", badField, "'  1O' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Write(c.name, c.bytes);
        std::optional<std::string> message;
        try {
            profile::LoadRecordFile(path);
        } catch (const profile::ERecordError& e) {
            message = std::string(e.what()).substr(("Cannot open file " + path).size());
            EXPECT_EQ(std::string(e.what()).rfind("Cannot open file " + path, 0), 0u);
        } catch (const platform::EConvertError& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.message);
    }
}

TEST_F(RecordFileTest, UnreadableFilesFailNamingTheFile) {
    const std::string missing = (folder_ / "missing.Result").string();
    const std::string directory = (folder_ / "folder.Result").string();
    fs::create_directories(directory);
    EXPECT_EQ(FailureOf<profile::ERecordError>([&] { profile::LoadRecordFile(missing); }),
              "Cannot open file " + missing + ": No such file or directory");
    EXPECT_EQ(FailureOf<profile::ERecordError>([&] { profile::LoadRecordFile(directory); }),
              "Cannot open file " + directory + ": not a regular file");
    if (::geteuid() != 0) { // root reads whatever the permissions say
        const std::string locked = Write("locked.Result", SampleText("\n"));
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(FailureOf<profile::ERecordError>([&] { profile::LoadRecordFile(locked); }),
                  "Cannot open file " + locked + ": Permission denied");
    }
}

TEST(RecordBaseName, DropsFolderAndResultEnding) {
    EXPECT_EQ(profile::RecordBaseName("/a/b/11111.Milman.Result"), "11111.Milman");
    EXPECT_EQ(profile::RecordBaseName("x.result"), "x.result");
    EXPECT_EQ(profile::RecordBaseName("/a/.Result"), ".Result");
    EXPECT_EQ(profile::RecordBaseName("Иванов.Result"), "Иванов");
}

} // namespace
