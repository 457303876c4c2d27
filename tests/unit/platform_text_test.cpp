// Host text and the library's UTF-16 text.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/platform.h"

namespace {

using xvr::platform::AnsiToWide;
using xvr::platform::WideToAnsi;

TEST(PlatformText, UmlautsAndEmbeddedZerosSurvive) {
    const std::u16string wide = u"Grüße äöü ÄÖÜ";
    EXPECT_EQ(AnsiToWide(WideToAnsi(wide)), wide);
    const std::string withZero("a\0b", 3);
    EXPECT_EQ(AnsiToWide(withZero), std::u16string(u"a\0b", 3));
    EXPECT_EQ(WideToAnsi(std::u16string(u"a\0b", 3)), withZero);
    EXPECT_TRUE(AnsiToWide("").empty());
    EXPECT_TRUE(WideToAnsi(u"").empty());
}

#ifndef _WIN32
TEST(PlatformText, Utf8IsDecodedIncludingSupplementaryCharacters) {
    EXPECT_EQ(AnsiToWide("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"), u"äöüß");
    EXPECT_EQ(WideToAnsi(u"äöüß"), "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F");
    EXPECT_EQ(AnsiToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(WideToAnsi(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(AnsiToWide("\xE2\x82\xAC"), u"€");
}

TEST(PlatformText, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        all += one;
        const std::u16string wide = AnsiToWide(one);
        ASSERT_EQ(wide.size(), 1u) << b;
        // ASCII stands for itself, every other lone byte is escaped.
        EXPECT_EQ(wide[0], b < 0x80 ? char16_t(b) : char16_t(0xDC00 + b)) << b;
        EXPECT_EQ(WideToAnsi(wide), one) << b;
    }
    EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
}

TEST(PlatformText, MalformedSequencesAreEscapedByteForByte) {
    // overlong, encoded surrogate, beyond U+10FFFF, truncated, stray continuation
    for (const std::string bad : {"\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "\xE2\x82", "\x80", "\xF0\x9F\x98"}) {
        const std::u16string wide = AnsiToWide(bad);
        ASSERT_EQ(wide.size(), bad.size());
        for (size_t i = 0; i < bad.size(); ++i)
            EXPECT_EQ(wide[i], 0xDC00 + static_cast<unsigned char>(bad[i]));
        EXPECT_EQ(WideToAnsi(wide), bad);
    }
    // A bad byte does not swallow the valid character after it.
    EXPECT_EQ(AnsiToWide("\xE2\x41\xC3\xA4"),
              u"\xDCE2"
              u"Aä");

    std::mt19937 random(20240601);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (char &c : bytes)
            c = static_cast<char>(random() % 3 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
        ASSERT_EQ(WideToAnsi(AnsiToWide(bytes)), bytes) << round;
    }
}

TEST(PlatformText, LoneSurrogatesBecomeTheReplacementCharacter) {
    EXPECT_EQ(WideToAnsi(u"a\xD800"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(WideToAnsi(std::u16string(1, char16_t(0xDFFF))), "\xEF\xBF\xBD");
    EXPECT_EQ(WideToAnsi(std::u16string(1, char16_t(0xDC7F))), "\xEF\xBF\xBD");
    // A high surrogate at the very end has no partner to pair with.
    EXPECT_EQ(WideToAnsi(std::u16string(1, char16_t(0xDBFF))), "\xEF\xBF\xBD");
}
#endif

}  // namespace
