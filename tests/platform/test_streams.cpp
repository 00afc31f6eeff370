#include "platform/Exceptions.h"
#include "platform/Streams.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace fs = std::filesystem;
using namespace platform;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("milman-streams-" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
};

} // namespace

TEST(MemoryStream, WriteSeekReadAndShrink) {
    TMemoryStream s;
    s.WriteBuffer("abcdef", 6);
    EXPECT_EQ(s.Size(), 6);
    s.SetPosition(2);
    char buf[3] = {};
    s.ReadBuffer(buf, 3);
    EXPECT_EQ(std::string(buf, 3), "cde");
    EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
    s.SetSize(0);
    EXPECT_EQ(s.Position(), 0);
    s.WriteByte('z');
    EXPECT_EQ(s.ByteSize(), 1u);
    EXPECT_EQ(s.Memory()[0], 'z');
}

TEST(WriteFileAtomically, ReplacesTargetOnlyWhenComplete) {
    TempDir dir;
    const std::string target = (dir.path / "report.txt").string();
    WriteFileAtomically(target, [](TStream& s) { s.WriteBuffer("first", 5); });
    EXPECT_EQ(ReadAll(target), "first");

    EXPECT_THROW(WriteFileAtomically(target,
                                     [](TStream& s) {
                                         s.WriteBuffer("partial", 7);
                                         throw EAbort();
                                     }),
                 EAbort);
    EXPECT_EQ(ReadAll(target), "first");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1)
        << "the temporary file was left behind";
}

TEST(WriteFileAtomically, MissingFolderFailsWithTheTargetPath) {
    TempDir dir;
    const std::string target = (dir.path / "missing" / "x.gif").string();
    try {
        WriteFileAtomically(target, [](TStream&) {});
        FAIL() << "no exception";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + target);
    }
}
