#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

using platform::Cp1251ToUtf8;
using platform::Utf8ToCp1251;

TEST(TextEncoding, EveryAssignedByteRoundTrips) {
    for (int b = 1; b < 256; ++b) {
        if (b == 0x98) {
            continue;
        }
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(byte)), byte) << "byte " << b;
    }
}

TEST(TextEncoding, KnownTextAndReplacements) {
    struct Case {
        std::string cp1251;
        std::string utf8;
    };
    const Case cases[] = {
        {"\xDD-\xC0", "Э-А"},
        {"\xCA\xEE\xE4: 11111", "Код: 11111"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1251ToUtf8(c.cp1251), c.utf8);
        EXPECT_EQ(Utf8ToCp1251(c.utf8), c.cp1251);
    }
    EXPECT_EQ(Cp1251ToUtf8("a\x98z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xADz"), "a?z"); // a CJK character
    EXPECT_EQ(Utf8ToCp1251("a\xFF\xD0z"), "a??z");    // malformed bytes
}
