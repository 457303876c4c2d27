// The HiSLIP wire format alone: header layout, the checks a received header
// passes, and the builders' bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "drivers/hislip/hislip_message.h"

namespace {

using namespace xvr::hislip;

const uint8_t *Bytes(const std::string &s) { return reinterpret_cast<const uint8_t *>(s.data()); }

Check Parse(const std::string &message, Receiver r, Channel c, Header *h,
            uint64_t maxData = UINT64_MAX) {
    return ParseHeader(Bytes(message), r, c, maxData, h);
}

TEST(HislipMessage, HeaderIsNetworkOrderAndRoundTrips) {
    const std::string m = Message(kDataEnd, kRmtDelivered, 0xFFFFFF02, "*IDN?\n");
    ASSERT_EQ(m.size(), kHeaderSize + 6);
    EXPECT_EQ(m.substr(0, 16), std::string("HS\x07\x01\xFF\xFF\xFF\x02\0\0\0\0\0\0\0\x06", 16));
    EXPECT_EQ(m.substr(16), "*IDN?\n");
    Header h;
    ASSERT_EQ(Parse(m, Receiver::kServer, Channel::kSync, &h), Check::kOk);
    EXPECT_EQ(h.type, kDataEnd);
    EXPECT_EQ(h.control, kRmtDelivered);
    EXPECT_EQ(h.parameter, 0xFFFFFF02u);
    EXPECT_EQ(h.length, 6u);

    // A payload length in all 64 bits.
    uint8_t raw[kHeaderSize];
    WriteHeader({kData, 0, 7, 0x0102030405060708ull}, raw);
    EXPECT_EQ(Load64(raw + 8), 0x0102030405060708ull);
}

TEST(HislipMessage, StructuredBuilders) {
    Header h;
    const std::string init = Initialize(kVersion, "XV", "hislip0");
    ASSERT_EQ(Parse(init, Receiver::kServer, Channel::kNew, &h), Check::kOk);
    EXPECT_EQ(h.parameter, 0x01005856u);  // version 1.0, vendor "XV"
    EXPECT_EQ(init.substr(16), "hislip0");

    ASSERT_EQ(
        Parse(InitializeResponse(true, 0x0100, 0x1234), Receiver::kClient, Channel::kSync, &h),
        Check::kOk);
    EXPECT_EQ(h.control, kPreferOverlap);
    EXPECT_EQ(h.parameter, 0x01001234u);
    ASSERT_EQ(Parse(AsyncInitialize(0x1234), Receiver::kServer, Channel::kNew, &h), Check::kOk);
    EXPECT_EQ(h.parameter, 0x1234u);

    const std::string size =
        MaximumMessageSize(kAsyncMaximumMessageSizeResponse, 0x100000000ull + 5);
    ASSERT_EQ(Parse(size, Receiver::kClient, Channel::kAsync, &h), Check::kOk);
    ASSERT_EQ(h.length, 8u);
    EXPECT_EQ(ReadMaximumMessageSize(Bytes(size) + 16), 0x100000005ull);
}

TEST(HislipMessage, ChecksRejectWhatTheChannelNeverCarries) {
    Header h;
    EXPECT_EQ(Parse(std::string("HX") + Message(kData, 0, 0).substr(2), Receiver::kClient,
                    Channel::kSync, &h),
              Check::kBadPrologue);
    // Reserved and vendor types, and types of the other direction or channel.
    EXPECT_EQ(Parse(Message(26, 0, 0), Receiver::kClient, Channel::kSync, &h), Check::kUnknownType);
    EXPECT_EQ(Parse(Message(200, 0, 0), Receiver::kServer, Channel::kAsync, &h),
              Check::kUnknownType);
    EXPECT_EQ(Parse(Message(kInitialize, 0, 0), Receiver::kClient, Channel::kSync, &h),
              Check::kWrongChannel);
    EXPECT_EQ(Parse(Message(kData, 0, 0), Receiver::kClient, Channel::kAsync, &h),
              Check::kWrongChannel);
    EXPECT_EQ(Parse(Message(kAsyncStatusResponse, 0, 0), Receiver::kClient, Channel::kSync, &h),
              Check::kWrongChannel);
    EXPECT_EQ(Parse(Message(kData, 0, 0), Receiver::kServer, Channel::kNew, &h),
              Check::kWrongChannel);
    EXPECT_EQ(Parse(Message(kAsyncStatusQuery, 0, 0), Receiver::kServer, Channel::kAsync, &h),
              Check::kOk);
    // Errors come on both channels, to both sides.
    EXPECT_EQ(Parse(Message(kFatalError, 1, 0, "x"), Receiver::kClient, Channel::kAsync, &h),
              Check::kOk);
    EXPECT_EQ(Parse(Message(kError, 4, 0, "x"), Receiver::kServer, Channel::kSync, &h), Check::kOk);
}

TEST(HislipMessage, PayloadLengthsAreCapped) {
    Header h;
    uint8_t raw[kHeaderSize];
    // Near 2^64: data is capped by the caller's limit, everything else at 1 MiB.
    WriteHeader({kDataEnd, 0, 0, UINT64_MAX - 3}, raw);
    EXPECT_EQ(ParseHeader(raw, Receiver::kClient, Channel::kSync, UINT64_MAX, &h), Check::kOk);
    EXPECT_EQ(ParseHeader(raw, Receiver::kServer, Channel::kSync, 1 << 20, &h), Check::kTooLong);
    WriteHeader({kError, 0, 0, kMaxControlPayload + 1}, raw);
    EXPECT_EQ(ParseHeader(raw, Receiver::kClient, Channel::kSync, UINT64_MAX, &h), Check::kTooLong);
    WriteHeader({kError, 0, 0, kMaxControlPayload}, raw);
    EXPECT_EQ(ParseHeader(raw, Receiver::kClient, Channel::kSync, UINT64_MAX, &h), Check::kOk);
}

TEST(HislipMessage, MessageIdsWrap) {
    EXPECT_TRUE(IdAfter(kFirstMessageId + 2, kFirstMessageId));
    EXPECT_TRUE(IdAfter(0x00000002, 0xFFFFFFFE));  // across the wrap
    EXPECT_FALSE(IdAfter(kFirstMessageId, kFirstMessageId));
    EXPECT_FALSE(IdAfter(0xFFFFFFFE, 0x00000002));
}

}  // namespace
