// The GPIB driver against the simulated bus library (tools/xvr-simbus); a
// library lacking an entry point is refused in tests/extra/gpib_unbound_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drivers/gpib/gpib_driver.h"
#include "base/texts.h"
#include "platform/platform.h"
#include "support/simbus_session.h"
#include "support/test_env.h"

namespace xvr {
namespace {

using Calls = std::vector<std::string>;

constexpr uint32_t kFrameBits = 0x01010000;

class GpibDriverTest : public ::testing::Test {
protected:
    int32_t Open(const std::u16string &address, uint32_t *h) {
        *h = kFrameBits;
        return m_Driver.Open(h, address, -1, &m_Error);
    }
    uint32_t OpenOk(const std::u16string &address) {
        uint32_t h = 0;
        EXPECT_EQ(Open(address, &h), kStatusOk) << platform::WideToAnsi(m_Error);
        return h;
    }
    // Leaves the count the driver reports in m_Sent.
    int32_t Write(uint32_t h, const std::string &data, uint32_t flags) {
        m_Sent = static_cast<int32_t>(data.size());
        return m_Driver.Write(h, reinterpret_cast<const uint8_t *>(data.data()), &m_Sent, flags,
                              &m_Error);
    }
    // Leaves what arrived in m_Data; the byte after the buffer must stay untouched.
    int32_t Read(uint32_t h, int32_t capacity, uint32_t flags) {
        std::vector<uint8_t> buffer(capacity + 1, 0xEE);
        int32_t length = capacity;
        const int32_t status = m_Driver.Read(h, buffer.data(), &length, flags, &m_Error);
        EXPECT_EQ(buffer[capacity], 0xEE);
        m_Data.assign(reinterpret_cast<const char *>(buffer.data()),
                      std::clamp(length, 0, capacity));
        if (flags & kReadZeroTerminate) {
            EXPECT_EQ(buffer[m_Data.size()], 0);
        }
        return status;
    }
    // Read, with its duration in *elapsedMs.
    int32_t TimedRead(uint32_t h, int32_t capacity, uint32_t flags, uint64_t *elapsedMs) {
        const uint64_t start = platform::MonotonicMs();
        const int32_t status = Read(h, capacity, flags);
        *elapsedMs = platform::MonotonicMs() - start;
        return status;
    }
    int32_t Set(uint32_t h, const std::u16string &name, const std::u16string &value) {
        return m_Driver.ParamSet(h, name, value, &m_Error);
    }

    test::SimBusSession m_Sim;
    CXVR_KXGPIB m_Driver;
    std::u16string m_Error;
    std::string m_Data;
    int32_t m_Sent = 0;
};

TEST(GpibAddressTest, ParsesDevTextsAndRefusesOthers) {
    // The bus address word: secondary * 256 + primary; -1: refused.
    const std::pair<const char16_t *, int> cases[] = {
        {u"dev5", 5},     {u"Dev 1,96", 24577}, {u"DEV", 0},     {u"Devxyz", 0},
        {u"Dev 300", 44}, {u"Dev -1, 2x", 767}, {u" Dev 5", -1}, {u"GPIB 5", -1},
    };
    for (const auto &[text, word] : cases) {
        GPIBAddress a;
        EXPECT_EQ(ParseGPIBAddress(text, &a) ? a.secondary * 256 + a.primary : -1, word)
            << platform::WideToAnsi(text);
    }
}

TEST_F(GpibDriverTest, OpensShareARecordPerAddressAndFailuresKeepNothing) {
    const uint32_t h = OpenOk(u"Dev 1,96");
    EXPECT_EQ(OpenOk(u"DEV1,96"), h);
    EXPECT_EQ(m_Sim.Calls("iecOpen "), Calls{"iecOpen 24577 256"});
    EXPECT_EQ(m_Driver.Close(h, &m_Error), kStatusOk);
    EXPECT_EQ(m_Driver.Close(h, &m_Error), kStatusReleased);
    EXPECT_EQ(m_Sim.Calls("iecClose "), Calls{"iecClose 24577"});

    // No instrument answers beyond address 30.
    uint32_t other = 0;
    EXPECT_EQ(Open(u"Dev 31", &other), kStatusOpenFailed);
    EXPECT_EQ(m_Error, LoadText(kTextCannotOpen));
    EXPECT_EQ(Open(u"Gpib 2", &other), kStatusBadAddress);
    EXPECT_EQ(m_Error, LoadText(kTextBadGpibDevice));
    EXPECT_FALSE(m_Driver.HasOpenDevices());
    EXPECT_EQ(m_Sim.Calls("iecCInit "), Calls{"iecCInit 0 []"});  // once per driver object
}

TEST_F(GpibDriverTest, AWriteIsOneBusMessageOrNothing) {
    const uint32_t h = OpenOk(u"Dev 5");
    ASSERT_EQ(Set(h, u"DELIMITER", u"\\0D\\0A"), kStatusOk);
    const std::string block(65533, 'x');
    const struct {
        std::string data;
        uint32_t flags;
        int32_t status, sent;
    } cases[] = {
        {"hi", kWriteAppendDelimiter, kStatusOk, 4},
        {"", kWriteAppendDelimiter, kStatusOk, 2},
        {block + "yy", 0, kStatusOk, 65535},
        // The 16-bit bus count cannot carry more, and a message cannot be split.
        {block + "y", kWriteAppendDelimiter, kStatusTransfer, 0},
        {block + "yyy", 0, kStatusTransfer, 0},
    };
    // A refusal has a text, so that no host takes it for a time-out.
    for (const auto &c : cases) {
        m_Error.clear();
        EXPECT_EQ(Write(h, c.data, c.flags), c.status) << c.data.size();
        EXPECT_EQ(m_Sent, c.sent) << c.data.size();
        EXPECT_EQ(m_Error, c.status == kStatusOk ? u"" : LoadText(kTextOutOfRange))
            << c.data.size();
    }
    // Negative lengths are refused before anything is touched.
    int32_t length = -1;
    uint8_t byte = 0xEE;
    EXPECT_EQ(m_Driver.Write(h, &byte, &length, 0, &m_Error), kStatusTransfer);
    m_Error.clear();
    EXPECT_EQ(m_Driver.Read(h, &byte, &length, kReadZeroTerminate, &m_Error), kStatusTransfer);
    EXPECT_EQ(m_Error, LoadText(kTextOutOfRange));
    EXPECT_EQ(length, -1);
    EXPECT_EQ(byte, 0xEE);
    EXPECT_TRUE(m_Sim.Calls("iecEnter").empty());
    const Calls sends = m_Sim.Calls("iecSend ");
    ASSERT_EQ(sends.size(), 3u);
    EXPECT_EQ(sends[0], "iecSend 5 4 hi\\0D\\0A");
    EXPECT_EQ(sends[2].substr(0, 16), "iecSend 5 65535 ");
}

TEST_F(GpibDriverTest, ReadStopsAtTheDelimiterOrAFullBuffer) {
    const uint32_t h = OpenOk(u"Dev 5");
    ASSERT_EQ(Write(h, "*IDN?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(m_Data, "XVR-SIMBUS,DEV5,0,1.0");
    // The bus stops at the last byte of a two-byte delimiter; the driver reads
    // on until both have come.
    ASSERT_EQ(Set(h, u"DELIMITER", u"\\0D\\0A"), kStatusOk);
    ASSERT_EQ(Write(h, "A\nB?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter | kReadKeepDelimiter), kStatusDelimiter);
    EXPECT_EQ(m_Data, "A\nB?\r\n");
    // Each read sets the end byte and the whole time-out first (a slow pass
    // may shorten the wait for the next one).
    for (const char *first : {"iecParameter 5 1 1 13 1000", "iecParameter 5 1 1 10 1000"})
        EXPECT_EQ(m_Sim.Calls(first).size(), 1u) << first;

    // A full buffer ends the read; the zero takes the last place.
    ASSERT_EQ(Write(h, "0123456789?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, 10, kReadStopAtDelimiter | kReadZeroTerminate), kStatusBufferFull);
    EXPECT_EQ(m_Data, "012345678");

    // No room asks the bus for nothing.
    int32_t length = 0;
    EXPECT_EQ(m_Driver.Read(h, nullptr, &length, kReadZeroTerminate, &m_Error), kStatusBufferFull);
    EXPECT_EQ(m_Sim.Calls("iecEnter ").back(), "iecEnter 5 0");
}

TEST_F(GpibDriverTest, ReadsKeepToTheBusCountAndTheBuffer) {
    const uint32_t h = OpenOk(u"Dev 9");
    ASSERT_EQ(Write(h, "DATA? 100000", 0), kStatusOk);
    EXPECT_EQ(Read(h, 100000, 0), kStatusBufferFull);
    ASSERT_EQ(m_Data.size(), 100000u);
    EXPECT_EQ(m_Data.substr(65534, 3), "OPQ");  // the pattern continues across chunks
    EXPECT_EQ(m_Sim.Calls("iecEnter "), (Calls{"iecEnter 9 65535", "iecEnter 9 34465"}));

    // A bus claiming more than it was asked for is not believed.
    ASSERT_EQ(Write(h, "0123456789?", 0), kStatusOk);
    m_Sim.Configure("overreport 40");
    EXPECT_EQ(Read(h, 8, kReadZeroTerminate), kStatusTransfer);
    EXPECT_EQ(m_Data, "0123456");
    EXPECT_EQ(m_Error, LoadText(kTextOutOfRange));  // a fault, not a time-out
}

TEST_F(GpibDriverTest, AnEmptyDelimiterReadsToTheMessageEnd) {
    const uint32_t h = OpenOk(u"Dev 9");
    ASSERT_EQ(Set(h, u"DELIMITER", u""), kStatusOk);
    // Longer than one bus call, or with a zero byte inside: the whole message.
    ASSERT_EQ(Write(h, "DATA? 100000", 0), kStatusOk);
    EXPECT_EQ(Read(h, 200000, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(m_Data.size(), 100000u);
    const std::string zero("A\0B?", 4);
    ASSERT_EQ(Write(h, zero, 0), kStatusOk);
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(m_Data, zero);
    EXPECT_EQ(m_Sim.Calls("iecParameter ").back(), "iecParameter 9 1 0 0 1000");
    // A message that fills the buffer is not known to have ended.
    ASSERT_EQ(Write(h, "DATA? 10", 0), kStatusOk);
    EXPECT_EQ(Read(h, 10, kReadStopAtDelimiter), kStatusBufferFull);
    EXPECT_EQ(m_Data, "ABCDEFGHIJ");
}

TEST_F(GpibDriverTest, ReadEndsAtTheTimeOutWithWhatArrived) {
    const uint32_t h = OpenOk(u"Dev 5");
    ASSERT_EQ(Set(h, u"TIMEOUT", u"100"), kStatusOk);
    // Without the delimiter the answer ends on the message end alone.
    ASSERT_EQ(Write(h, "ABC?", 0), kStatusOk);
    uint64_t elapsed = 0;
    EXPECT_EQ(TimedRead(h, 100, kReadStopAtDelimiter, &elapsed), kStatusTransfer);
    EXPECT_EQ(m_Data, "ABC?");
    EXPECT_EQ(m_Error, u"");  // a time-out has no text
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 3000u);

    // An answer slower than the time-out is not waited for.
    m_Sim.Configure("delay 400");
    ASSERT_EQ(Write(h, "*IDN?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusTransfer);
    EXPECT_EQ(m_Data, "");
}

TEST_F(GpibDriverTest, ALateAnswerLeavesTheBusOnlyTheRestOfTheTimeOut) {
    // The answer takes most of the time-out; the wait for the delimiter that
    // never comes gets what is left, not a whole bus wait of its own.
    const uint32_t h = OpenOk(u"Dev 5");
    ASSERT_EQ(Set(h, u"TIMEOUT", u"500"), kStatusOk);
    m_Sim.Configure("delay 400");
    ASSERT_EQ(Write(h, "ABC?", 0), kStatusOk);
    uint64_t elapsed = 0;
    EXPECT_EQ(TimedRead(h, 100, kReadStopAtDelimiter, &elapsed), kStatusTransfer);
    EXPECT_EQ(m_Data, "ABC?");
    EXPECT_GE(elapsed, 500u);
    EXPECT_LT(elapsed, 750u);  // 1.5 times the time-out: room for a busy machine
}

TEST_F(GpibDriverTest, ParametersTriggerAndTimeOutLimits) {
    const uint32_t h = OpenOk(u"Dev 5");
    std::u16string value;
    EXPECT_EQ(m_Driver.ParamGet(h, u"timeout", &value, &m_Error), kStatusUnknownParam);
    EXPECT_EQ(m_Error, FormatText(kTextParamUnsupported, {u"TIMEOUT", u"GPIB"}));

    // A trigger names the device by its primary address; 0 ends the list.
    EXPECT_EQ(Set(h, u"Trigger", u"anything"), kStatusOk);
    EXPECT_EQ(Set(OpenOk(u"Dev 0"), u"TRIGGER", u""), kStatusOk);
    EXPECT_EQ(m_Sim.Calls("iecCTrigger"), (Calls{"iecCTrigger 5", "iecCTrigger"}));
    // The bus library has no device clear, status byte, lock, service
    // request or remote control: refused, never a silent success.
    for (const char16_t *name : {u"CLEAR", u"LOCK", u"SRQ", u"REMOTE"}) {
        EXPECT_EQ(Set(h, name, u"1"), kStatusUnknownParam);
        EXPECT_EQ(m_Error, FormatText(kTextParamUnsupported, {name, u"GPIB"}));
    }
    for (const char16_t *name : {u"STB", u"SRQ", u"TRIGGER"})
        EXPECT_EQ(m_Driver.ParamGet(h, name, &value, &m_Error), kStatusUnknownParam);

    // Time-outs beyond the bus's 16 bits reach it as its longest wait.
    for (const char16_t *timeout : {u"70000", u"-1"}) {
        ASSERT_EQ(Set(h, u"TIMEOUT", timeout), kStatusOk);
        ASSERT_EQ(Write(h, "X?", kWriteAppendDelimiter), kStatusOk);
        ASSERT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusDelimiter);
    }
    EXPECT_EQ(m_Sim.Calls("iecParameter "),
              (Calls{"iecParameter 5 1 1 13 65535", "iecParameter 5 1 1 13 65535"}));
}

TEST_F(GpibDriverTest, FailedSendsAndEntersAreTransferErrors) {
    const uint32_t h = OpenOk(u"Dev 5");
    ASSERT_EQ(Set(h, u"TIMEOUT", u"100"), kStatusOk);
    m_Sim.Configure("fail iecSend");
    EXPECT_EQ(Write(h, "*IDN?", kWriteAppendDelimiter), kStatusTransfer);
    EXPECT_EQ(m_Error,
              FormatText(kTextWriteFailed, {u"GPIB", SystemText(platform::DeviceFailedError())}));
    m_Sim.Configure("fail iecEnter");
    ASSERT_EQ(Write(h, "*IDN?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusTransfer);
    // A bus that returns nothing at once is asked about once a millisecond
    // over the 100 ms, not thousands of times back to back.
    EXPECT_LE(m_Sim.Calls("iecEnter ").size(), 110u);
    // The result of iecParameter is of no use: the answer still comes.
    m_Sim.Configure("fail iecParameter");
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(m_Data, "XVR-SIMBUS,DEV5,0,1.0");
}

TEST_F(GpibDriverTest, AFailedBindingLeavesNothingBoundAndIsRetried) {
    CXVR_GPIB absent(u"KX GPIB", u"QUVIEC_ABSENT.DLL");
    uint32_t h = kFrameBits;
    EXPECT_EQ(absent.Open(&h, u"Dev 5", -1, &m_Error), kStatusOpenFailed);
    const std::u16string head =
        FormatText(kTextDllLoadFailed, {platform::LibraryFileName(u"QUVIEC_ABSENT.DLL"), u""});
    EXPECT_EQ(m_Error.substr(0, head.size()), head);
    EXPECT_GT(m_Error.size(), head.size());  // the system's reason follows

    m_Sim.Configure("fail iecCInit");
    EXPECT_EQ(Open(u"Dev 5", &h), kStatusValueTooLong);
    EXPECT_EQ(m_Error, LoadText(kTextGpibInitFailed));
    EXPECT_FALSE(m_Driver.IsBound());
    EXPECT_FALSE(m_Driver.HasOpenDevices());
    m_Sim.Configure("");
    OpenOk(u"Dev 5");
    OpenOk(u"Dev 6");
    EXPECT_EQ(m_Sim.Calls("iecCInit ").size(), 2u);
}

TEST(GpibSettingsTest, TheParameterFileChoosesTheInterface) {
    // Interface type (1 for RV2) and base address; nullptr: no parameter file.
    const std::pair<const char *, std::string> cases[] = {
        {nullptr, "1 840"},
        {"[Quv GPIB]\r\nINTERFACETYPE=isa\r\nBASEADDRESS=0x2E0\r\n", "2 0x2E0"},
        {"[quv gpib]\ninterfacetype=rV2\nBASEADDRESS=123456789\n", "1 1234567"},
        {"[Quv GPIB]\nINTERFACETYPE=RV2X\n", "2 840"},
        {"[Quv GPIB]\nINTERFACETYPE=\nBASEADDRESS=\n", "2 "},
    };
    for (const auto &[file, settings] : cases) {
        test::ScopedXvrDir dir;
        if (file) dir.WriteParameterFile(file);
        CXVR_QuvGPIB driver;
        EXPECT_EQ(std::to_string(driver.InterfaceType()) + " " + driver.BaseAddress(), settings)
            << (file ? file : "(no file)");
    }
}

}  // namespace
}  // namespace xvr
