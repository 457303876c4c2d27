// The VXI-11 wire format without I/O: XDR, ONC RPC records and messages,
// and the driver's address syntax.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/vxi11/rpc_message.h"
#include "drivers/vxi11/vxi11_driver.h"
#include "drivers/vxi11/vxi11_messages.h"
#include "drivers/vxi11/xdr.h"

namespace {

using namespace xvr;
using namespace xvr::vxi11;

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out;
    XdrWriter w(&out);
    for (uint32_t word : words) w.U32(word);
    return out;
}

// A reader over a byte string that also counts what was asked of it.
struct Source {
    std::vector<uint8_t> bytes;
    size_t at = 0;
    size_t largestAsk = 0;
    ReadExact Reader() {
        return [this](uint8_t *into, size_t size) {
            largestAsk = std::max(largestAsk, size);
            if (bytes.size() - at < size) return false;
            std::copy(bytes.begin() + at, bytes.begin() + at + size, into);
            at += size;
            return true;
        };
    }
};

void AppendFragment(std::vector<uint8_t> *stream, const std::string &data, bool last) {
    uint8_t mark[4];
    EncodeRecordMark(static_cast<uint32_t>(data.size()), last, mark);
    stream->insert(stream->end(), mark, mark + 4);
    stream->insert(stream->end(), data.begin(), data.end());
}

TEST(Vxi11Wire, XdrPadsChecksLengthsAndBooleans) {
    std::vector<uint8_t> out;
    XdrWriter w(&out);
    w.String("abcde");
    w.Bool(true);
    w.I32(-2);
    ASSERT_EQ(out.size(), 4u + 8u + 4u + 4u);
    EXPECT_EQ(out[3], 5);
    EXPECT_EQ(out[9], 0);  // padding
    XdrReader r(out.data(), out.size());
    std::string text;
    bool flag = false;
    int32_t number = 0;
    EXPECT_FALSE(r.String(4, &text));  // longer than allowed: nothing moves
    EXPECT_EQ(r.Offset(), 0u);
    ASSERT_TRUE(r.String(5, &text));
    EXPECT_EQ(text, "abcde");
    ASSERT_TRUE(r.Bool(&flag));
    EXPECT_TRUE(flag);
    ASSERT_TRUE(r.I32(&number));
    EXPECT_EQ(number, -2);
    uint32_t word = 0;
    EXPECT_FALSE(r.U32(&word));

    // A length beyond the data, a length whose padding is missing, a boolean 2.
    for (const auto &bad :
         {Words({0xFFFFFFFF}), Words({8, 1}), std::vector<uint8_t>{0, 0, 0, 3, 'a', 'b', 'c'}}) {
        XdrReader b(bad.data(), bad.size());
        const uint8_t *data = nullptr;
        size_t size = 0;
        EXPECT_FALSE(b.Opaque(SIZE_MAX, &data, &size));
    }
    const auto two = Words({2});
    XdrReader b(two.data(), two.size());
    EXPECT_FALSE(b.Bool(&flag));
}

TEST(Vxi11Wire, RecordsJoinFragmentsAndNeverTrustTheMark) {
    Source s;
    AppendFragment(&s.bytes, "abc", false);
    AppendFragment(&s.bytes, "", false);
    AppendFragment(&s.bytes, "defg", true);
    AppendFragment(&s.bytes, "next", true);
    std::vector<uint8_t> record;
    ASSERT_EQ(ReadRecord(s.Reader(), 100, &record), RecordStatus::kOk);
    EXPECT_EQ(std::string(record.begin(), record.end()), "abcdefg");
    ASSERT_EQ(ReadRecord(s.Reader(), 100, &record), RecordStatus::kOk);
    EXPECT_EQ(std::string(record.begin(), record.end()), "next");
    EXPECT_EQ(ReadRecord(s.Reader(), 100, &record), RecordStatus::kReadFailed);

    // Gigabytes announced: refused before anything is read or allocated.
    Source huge;
    huge.bytes = {0xFF, 0xFF, 0xFF, 0xF0};
    EXPECT_EQ(ReadRecord(huge.Reader(), 1 << 20, &record), RecordStatus::kTooLarge);
    EXPECT_EQ(huge.largestAsk, 4u);
    EXPECT_LT(record.capacity(), size_t{1} << 20);
    // The cap counts all fragments together; a truncated fragment fails.
    Source split;
    AppendFragment(&split.bytes, std::string(60, 'x'), false);
    AppendFragment(&split.bytes, std::string(60, 'y'), true);
    EXPECT_EQ(ReadRecord(split.Reader(), 100, &record), RecordStatus::kTooLarge);
    Source cut;
    AppendFragment(&cut.bytes, "abcdef", true);
    cut.bytes.resize(cut.bytes.size() - 2);
    EXPECT_EQ(ReadRecord(cut.Reader(), 100, &record), RecordStatus::kReadFailed);
}

TEST(Vxi11Wire, CallsAndRepliesRoundTrip) {
    std::vector<uint8_t> call;
    BeginRecord(&call);
    AppendCallHeader(&call, 7, kCoreProgram, kVxi11Version, kProcDeviceRead);
    XdrWriter w(&call);
    ReadParms read;
    read.lid = 3;
    read.requestSize = 1000;
    read.flags = kFlagTermCharSet;
    read.termChar = '\n';
    Encode(read, w);
    FinishRecord(&call);
    EXPECT_EQ(DecodeRecordMark(call.data()).length, call.size() - 4);
    EXPECT_TRUE(DecodeRecordMark(call.data()).last);
    RpcCall parsed;
    ASSERT_TRUE(ParseCall(call.data() + 4, call.size() - 4, &parsed));
    EXPECT_EQ(parsed.xid, 7u);
    EXPECT_EQ(parsed.program, kCoreProgram);
    EXPECT_EQ(parsed.procedure, kProcDeviceRead);
    XdrReader args(parsed.args, parsed.argsSize);
    ReadParms back;
    ASSERT_TRUE(Decode(args, &back));
    EXPECT_EQ(back.requestSize, 1000u);
    EXPECT_EQ(back.termChar, '\n');
    EXPECT_EQ(args.Remaining(), 0u);

    std::vector<uint8_t> reply;
    AppendAcceptedReply(&reply, 7, kAcceptSuccess);
    XdrWriter rw(&reply);
    const uint8_t data[] = {'4', '2', '\n'};
    Encode(ReadResp{0, kReasonEnd, data, sizeof data}, rw);
    RpcReply r;
    ASSERT_TRUE(ParseReply(reply.data(), reply.size(), &r));
    EXPECT_EQ(r.outcome, RpcReply::Outcome::kSuccess);
    ReadResp resp;
    XdrReader tooMuch(r.results, r.resultsSize);
    EXPECT_FALSE(Decode(tooMuch, &resp, 2));  // more data than the caller allows
    XdrReader results(r.results, r.resultsSize);
    ASSERT_TRUE(Decode(results, &resp, 3));
    EXPECT_EQ(std::string(resp.data, resp.data + resp.size), "42\n");
    EXPECT_EQ(resp.reason, kReasonEnd);
}

TEST(Vxi11Wire, RpcFailuresAndMalformedReplies) {
    RpcReply r;
    std::vector<uint8_t> denied;
    AppendRpcMismatchReply(&denied, 9);
    ASSERT_TRUE(ParseReply(denied.data(), denied.size(), &r));
    EXPECT_EQ(r.outcome, RpcReply::Outcome::kRpcMismatch);
    EXPECT_EQ(DescribeRpcFailure(r), "RPC: version mismatch (server supports 2 to 2)");
    const struct {
        std::vector<uint8_t> bytes;
        bool ok;
        RpcReply::Outcome outcome;
    } cases[] = {
        {Words({1, 1, 1, 1, 3}), true, RpcReply::Outcome::kAuthError},
        {Words({1, 1, 0, 0, 0, 1}), true, RpcReply::Outcome::kProgUnavail},
        {Words({1, 1, 0, 0, 0, 2, 1, 1}), true, RpcReply::Outcome::kProgMismatch},
        {Words({1, 1, 0, 0, 0, 3}), true, RpcReply::Outcome::kProcUnavail},
        {Words({1, 1, 0, 0, 0, 4}), true, RpcReply::Outcome::kGarbageArgs},
        {Words({1, 1, 0, 0, 0, 5}), true, RpcReply::Outcome::kSystemErr},
        // A verifier with a body is skipped whole.
        {Words({1, 1, 0, 1, 4, 0xAAAAAAAA, 0, 0}), true, RpcReply::Outcome::kSuccess},
        {Words({1, 0, 0, 0, 0, 0}), false, {}},     // a call, not a reply
        {Words({1, 1, 2}), false, {}},              // no such reply_stat
        {Words({1, 1, 0, 0, 0, 6}), false, {}},     // no such accept_stat
        {Words({1, 1, 0, 0, 401}), false, {}},      // verifier too long
        {Words({1, 1, 0, 0, 0, 2, 1}), false, {}},  // mismatch cut short
        {Words({1, 1, 1, 2}), false, {}},           // no such reject_stat
        {Words({1, 1}), false, {}},
    };
    for (const auto &c : cases) {
        RpcReply parsed;
        EXPECT_EQ(ParseReply(c.bytes.data(), c.bytes.size(), &parsed), c.ok);
        if (c.ok) {
            EXPECT_EQ(parsed.outcome, c.outcome);
        }
    }
}

TEST(Vxi11Wire, MessagesKeepTheirLimits) {
    std::vector<uint8_t> out;
    XdrWriter w(&out);
    Encode(EnableSrqParms{5, true, std::string(41, 'h')}, w);
    XdrReader r(out.data(), out.size());
    EnableSrqParms srq;
    EXPECT_FALSE(Decode(r, &srq));  // a handle holds at most 40 bytes

    out.clear();
    Encode(CreateLinkParms{1, true, 250, "gpib0,5"}, w);
    XdrReader l(out.data(), out.size());
    CreateLinkParms link;
    ASSERT_TRUE(Decode(l, &link));
    EXPECT_TRUE(link.lockDevice);
    EXPECT_EQ(link.lockTimeout, 250u);
    EXPECT_EQ(link.device, "gpib0,5");

    EXPECT_STREQ(ErrorPhrase(8), "operation not supported");
    EXPECT_STREQ(ErrorPhrase(99), "unknown error");
    EXPECT_EQ(UniversalAddress(0x7F000001, 0x0401), "127.0.0.1.4.1");
}

TEST(Vxi11Wire, AddressesFillInTheDevice) {
    std::u16string host, device;
    ASSERT_TRUE(ParseVxi11Address(u" 10.0.0.5 ", &host, &device));
    EXPECT_EQ(host, u"10.0.0.5");
    EXPECT_EQ(device, u"inst0");
    ASSERT_TRUE(ParseVxi11Address(u"Host : gpib0,5", &host, &device));
    EXPECT_EQ(host, u"Host");
    EXPECT_EQ(device, u"gpib0,5");
    ASSERT_TRUE(ParseVxi11Address(u"10.0.0.5:", &host, &device));
    EXPECT_EQ(device, u"inst0");
    EXPECT_FALSE(ParseVxi11Address(u":inst0", &host, &device));
    EXPECT_FALSE(ParseVxi11Address(u"10.0.0.5:in st0", &host, &device));
    EXPECT_FALSE(ParseVxi11Address(u"10.0.0.5:" + std::u16string(257, u'x'), &host, &device));
}

}  // namespace
