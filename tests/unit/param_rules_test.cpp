// The parameter rules every driver shares.
#include <gtest/gtest.h>

#include <string>

#include "drivers/device_settings.h"
#include "base/status.h"
#include "base/texts.h"
#include "platform/platform.h"

namespace {

using namespace xvr;

struct Record : CXVR_DeviceSettings {
    Record() : CXVR_DeviceSettings(0x0D) {}
    std::string Delimiter() const {
        return std::string(reinterpret_cast<const char *>(m_Delimiter), m_lDelimiterLength);
    }
};

std::u16string Host(const std::string &bytes) { return platform::AnsiToWide(bytes); }

TEST(ParamRules, NamesAreTrimmedOfSpacesOnlyAndUpperCased) {
    EXPECT_EQ(NormalizeParamName(u"  timeout "), u"TIMEOUT");
    EXPECT_EQ(NormalizeParamName(u"\tTimeOut"), u"\tTIMEOUT");
    EXPECT_EQ(NormalizeParamName(u"DELIMITERX"), u"DELIMITERX");
}

TEST(ParamRules, TimeoutFollowsTheDecimalRule) {
    uint32_t t = 1000;
    ParseTimeoutValue(u"500", &t);
    EXPECT_EQ(t, 500u);
    ParseTimeoutValue(u"  250 ms", &t);
    EXPECT_EQ(t, 250u);
    ParseTimeoutValue(u"abc", &t);  // no digits: unchanged, no error
    EXPECT_EQ(t, 250u);
    ParseTimeoutValue(u"", &t);
    EXPECT_EQ(t, 250u);
    ParseTimeoutValue(u"0", &t);  // 0 means the default
    EXPECT_EQ(t, 1000u);
    ParseTimeoutValue(u"-1", &t);
    EXPECT_EQ(t, 4294967295u);
    EXPECT_EQ(FormatTimeoutValue(t), u"-1");
    ParseTimeoutValue(u"+7", &t);
    EXPECT_EQ(t, 7u);
    // Out of range saturates instead of wrapping into a tiny time-out.
    ParseTimeoutValue(u"99999999999", &t);
    EXPECT_EQ(t, 2147483647u);
    ParseTimeoutValue(u"-99999999999", &t);
    EXPECT_EQ(t, 2147483648u);
}

TEST(ParamRules, DelimiterTextRoundTrips) {
    Record r;
    EXPECT_EQ(FormatDelimiterValue(r.m_Delimiter, r.m_lDelimiterLength), u"\\0D");
    ASSERT_TRUE(ParseDelimiterValue(u"\\0d\\0a", &r));
    EXPECT_EQ(r.Delimiter(), "\r\n");
    EXPECT_EQ(FormatDelimiterValue(r.m_Delimiter, r.m_lDelimiterLength), u"\\0D\\0A");
    ASSERT_TRUE(ParseDelimiterValue(u" END", &r));  // not trimmed
    EXPECT_EQ(r.Delimiter(), " END");
    ASSERT_TRUE(ParseDelimiterValue(u"\\5C\\20\\7F\\80\\FF\\00", &r));
    EXPECT_EQ(FormatDelimiterValue(r.m_Delimiter, r.m_lDelimiterLength), u"\\ \\7F\\80\\FF\\00");
    ASSERT_TRUE(ParseDelimiterValue(u"", &r));
    EXPECT_EQ(r.m_lDelimiterLength, 0u);
    EXPECT_EQ(FormatDelimiterValue(r.m_Delimiter, r.m_lDelimiterLength), u"");
}

TEST(ParamRules, EscapesAlwaysConsumeTwoCharacters) {
    Record r;
    ASSERT_TRUE(ParseDelimiterValue(u"\\7Z!", &r));
    EXPECT_EQ(r.Delimiter(), std::string("\x07!", 2));
    ASSERT_TRUE(ParseDelimiterValue(u"\\ZZ", &r));  // no digit: byte 0
    EXPECT_EQ(r.Delimiter(), std::string(1, '\0'));
    ASSERT_TRUE(ParseDelimiterValue(u"A\\", &r));  // trailing backslash: byte 0
    EXPECT_EQ(r.Delimiter(), std::string("A\0", 2));
    ASSERT_TRUE(ParseDelimiterValue(u"\\-1\\+F\\ 9", &r));
    EXPECT_EQ(r.Delimiter(), "\xFF\x0F\x09");
}

TEST(ParamRules, OverlongDelimiterIsRefusedAndLeavesTheOldOne) {
    Record r;
    ASSERT_TRUE(ParseDelimiterValue(std::u16string(100, u'x'), &r));
    EXPECT_EQ(r.m_lDelimiterLength, 100u);
    ASSERT_TRUE(ParseDelimiterValue(u"\\0D\\0A", &r));
    EXPECT_FALSE(ParseDelimiterValue(std::u16string(101, u'y'), &r));
    std::u16string escapes;
    for (int i = 0; i < 101; ++i) escapes += u"\\41";
    EXPECT_FALSE(ParseDelimiterValue(escapes, &r));
    EXPECT_EQ(r.Delimiter(), "\r\n");

    std::u16string error;
    int32_t status = kStatusOk;
    EXPECT_TRUE(SetCommonParam(&r, u"DELIMITER", std::u16string(101, u'y'), &error, &status));
    EXPECT_EQ(status, kStatusBadValue);
    EXPECT_EQ(error, FormatText(kTextParamInvalid, {u"DELIMITER"}));
    EXPECT_EQ(r.Delimiter(), "\r\n");
}

TEST(ParamRules, HostBytesReachTheDelimiterUnchanged) {
    // Bytes that are not valid UTF-8 on Linux, or any ANSI byte on Windows.
    Record r;
    ASSERT_TRUE(ParseDelimiterValue(Host("\x80\xFE\xFF"), &r));
    EXPECT_EQ(r.Delimiter(), "\x80\xFE\xFF");
    EXPECT_EQ(FormatDelimiterValue(r.m_Delimiter, r.m_lDelimiterLength), u"\\80\\FE\\FF");
}

}  // namespace
