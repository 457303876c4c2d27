// The GPIB driver against the simulated bus library (tools/xvr-simbus).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drivers/gpib/gpib_driver.h"
#include "frame/texts.h"
#include "platform/platform.h"
#include "support/simbus_session.h"

namespace xvr {
namespace {

using test::SimBusSession;

constexpr uint32_t kFrameBits = 0x01010000;

std::string Narrow(const std::u16string &text) { return platform::WideToAnsi(text); }

class GpibDriverTest : public ::testing::Test {
protected:
    GpibDriverTest() : m_Driver(u"KX GPIB") { m_Driver.m_sLibraryFile = u"QUVIEC2.DLL"; }

    uint32_t OpenOk(const std::u16string &address) {
        uint32_t handle = kFrameBits;
        std::u16string error;
        EXPECT_EQ(m_Driver.Open(&handle, address, -1, &error), 0) << Narrow(error);
        return handle;
    }
    int32_t Write(uint32_t handle, const std::string &data, uint32_t flags, int32_t *sent = nullptr) {
        int32_t length = static_cast<int32_t>(data.size());
        std::u16string error;
        int32_t status = m_Driver.Write(handle, reinterpret_cast<const uint8_t *>(data.data()),
                                        &length, flags, &error);
        if (sent) *sent = length;
        return status;
    }
    int32_t Read(uint32_t handle, std::string *data, int32_t capacity, uint32_t flags) {
        std::vector<uint8_t> buffer(capacity > 0 ? capacity : 1, 0xEE);
        int32_t length = capacity;
        std::u16string error;
        int32_t status = m_Driver.Read(handle, buffer.data(), &length, flags, &error);
        data->assign(reinterpret_cast<const char *>(buffer.data()), length > 0 ? length : 0);
        return status;
    }
    int32_t Set(uint32_t handle, const std::u16string &name, const std::u16string &value) {
        std::u16string error;
        return m_Driver.ParamSet(handle, name, value, &error);
    }

    SimBusSession m_Sim;
    CXVR_KXGPIB m_Driver;
};

TEST(GpibAddressTest, ParsesDevTextsAndRefusesOthers) {
    struct Case {
        const char16_t *text;
        bool ok;
        uint8_t primary, secondary;
    } cases[] = {
        {u"dev5", true, 5, 0},        {u"Dev 1,96", true, 1, 96}, {u"DEV", true, 0, 0},
        {u"Devxyz", true, 0, 0},      {u"Dev 300", true, 44, 0},  {u"Dev -1, 2x", true, 255, 2},
        {u" Dev 5", false, 0, 0},     {u"GPIB 5", false, 0, 0},   {u"", false, 0, 0},
    };
    for (const Case &c : cases) {
        GPIBAddress a;
        ASSERT_EQ(ParseGPIBAddress(c.text, &a), c.ok) << Narrow(c.text);
        if (!c.ok) continue;
        EXPECT_EQ(a.primary, c.primary) << Narrow(c.text);
        EXPECT_EQ(a.secondary, c.secondary) << Narrow(c.text);
    }
}

TEST_F(GpibDriverTest, OpenNamesTheDeviceByItsBusAddressWord) {
    uint32_t handle = OpenOk(u"Dev 1,96");
    EXPECT_EQ(handle, kFrameBits | 1);
    EXPECT_EQ(m_Sim.Calls("iecOpen "), std::vector<std::string>{"iecOpen 24577 256"});

    // No instrument answers beyond address 30: the open fails and keeps nothing.
    uint32_t other = kFrameBits;
    std::u16string error;
    EXPECT_EQ(m_Driver.Open(&other, u"Dev 31", -1, &error), kStatusOpenFailed);
    EXPECT_EQ(error, LoadText(kTextCannotOpen));
    EXPECT_EQ(other, kFrameBits);

    error.clear();
    EXPECT_EQ(m_Driver.Open(&other, u"Gpib 2", 500, &error), kStatusNotOpen);
    EXPECT_EQ(error, LoadText(kTextBadGpibDevice));
    EXPECT_EQ(m_Sim.Calls("iecCInit ").size(), 1u);
}

TEST_F(GpibDriverTest, OpensOfOneAddressShareARecordAndFreedSlotsAreReused) {
    uint32_t first = OpenOk(u"Dev 7");
    uint32_t second = OpenOk(u"DEV7");
    EXPECT_EQ(first, second);
    EXPECT_EQ(m_Sim.Calls("iecOpen ").size(), 1u);

    std::u16string error;
    EXPECT_EQ(m_Driver.Close(first, &error), kStatusOk);
    EXPECT_TRUE(m_Sim.Calls("iecClose ").empty());
    EXPECT_EQ(m_Driver.Close(first, &error), kStatusReleased);
    EXPECT_EQ(m_Sim.Calls("iecClose "), std::vector<std::string>{"iecClose 7"});
    EXPECT_FALSE(m_Driver.HasOpenDevices());
    EXPECT_EQ(m_Driver.Close(first, &error), kStatusBadHandle);
    EXPECT_EQ(error, LoadText(kTextNotOpen));

    uint32_t one = OpenOk(u"Dev 1");
    uint32_t two = OpenOk(u"Dev 2");
    EXPECT_EQ(two & 0xFFFF, 2u);
    EXPECT_EQ(m_Driver.Close(one, &error), kStatusReleased);
    EXPECT_EQ(OpenOk(u"Dev 3") & 0xFFFF, 1u);
    EXPECT_TRUE(m_Driver.HasOpenDevices());
    // The interface is initialised once per driver object.
    EXPECT_EQ(m_Sim.Calls("iecCInit "), std::vector<std::string>{"iecCInit 0 []"});
}

TEST_F(GpibDriverTest, WriteSendsDataWithOrWithoutTheDelimiter) {
    uint32_t h = OpenOk(u"Dev 5");
    int32_t sent = 0;
    EXPECT_EQ(Write(h, "hello", kWriteAppendDelimiter, &sent), kStatusOk);
    EXPECT_EQ(sent, 6);
    EXPECT_EQ(Write(h, "hello", 0, &sent), kStatusOk);
    EXPECT_EQ(sent, 5);
    ASSERT_EQ(Set(h, u"delimiter", u"\\0D\\0A"), kStatusOk);
    EXPECT_EQ(Write(h, "", kWriteAppendDelimiter, &sent), kStatusOk);
    EXPECT_EQ(sent, 2);
    EXPECT_EQ(m_Sim.Calls("iecSend "),
              (std::vector<std::string>{"iecSend 5 6 hello\\0D", "iecSend 5 5 hello",
                                        "iecSend 5 2 \\0D\\0A"}));
}

TEST_F(GpibDriverTest, WriteRefusesWhatTheBusCountCannotCarry) {
    uint32_t h = OpenOk(u"Dev 5");
    const std::string block(65535, 'x');
    int32_t sent = 0;
    EXPECT_EQ(Write(h, block, 0, &sent), kStatusOk);
    EXPECT_EQ(sent, 65535);
    // One more byte for the delimiter would wrap the 16-bit count.
    EXPECT_EQ(Write(h, block, kWriteAppendDelimiter, &sent), kStatusTransfer);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(Write(h, block + "y", 0, &sent), kStatusTransfer);

    int32_t length = -5;
    std::u16string error;
    EXPECT_EQ(m_Driver.Write(h, reinterpret_cast<const uint8_t *>("abc"), &length, 0, &error),
              kStatusTransfer);
    EXPECT_EQ(length, -5);
    EXPECT_EQ(m_Sim.Calls("iecSend ").size(), 1u);
}

TEST_F(GpibDriverTest, ReadStopsAtTheDelimiterAndKeepsItOnRequest) {
    uint32_t h = OpenOk(u"Dev 5");
    std::string data;
    ASSERT_EQ(Write(h, "*IDN?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "XVR-SIMBUS,DEV5,0,1.0");
    EXPECT_EQ(m_Sim.Calls("iecParameter "), std::vector<std::string>{"iecParameter 5 1 1 13 1000"});

    ASSERT_EQ(Write(h, "ABC?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter | kReadKeepDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "ABC?\r");

    // A two-byte delimiter: the bus stops at its last byte, the driver
    // compares both.
    ASSERT_EQ(Set(h, u"DELIMITER", u"\\0D\\0A"), kStatusOk);
    ASSERT_EQ(Write(h, "XY?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "XY?");
    EXPECT_EQ(m_Sim.Calls("iecParameter ").back(), "iecParameter 5 1 1 10 1000");
}

TEST_F(GpibDriverTest, ReadFillsTheBufferAndZeroTerminatesOnRequest) {
    uint32_t h = OpenOk(u"Dev 5");
    ASSERT_EQ(Write(h, "0123456789ABC?", kWriteAppendDelimiter), kStatusOk);
    uint8_t buffer[12];
    std::memset(buffer, 0xEE, sizeof buffer);
    int32_t length = 10;
    std::u16string error;
    EXPECT_EQ(m_Driver.Read(h, buffer, &length, kReadStopAtDelimiter | kReadZeroTerminate, &error),
              kStatusBufferFull);
    EXPECT_EQ(length, 9);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer)), "012345678");
    EXPECT_EQ(buffer[10], 0xEE);
    // The rest of the answer waits for the next read.
    std::string data;
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "9ABC?");

    // An empty buffer still asks the bus once, for nothing.
    m_Sim.ClearCalls();
    length = 0;
    EXPECT_EQ(m_Driver.Read(h, nullptr, &length, kReadZeroTerminate, &error), kStatusBufferFull);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(m_Sim.Calls("iecEnter "), std::vector<std::string>{"iecEnter 5 0"});

    length = -1;
    EXPECT_EQ(m_Driver.Read(h, buffer, &length, 0, &error), kStatusTransfer);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(m_Sim.Calls("iecEnter ").size(), 1u);
}

TEST_F(GpibDriverTest, ReadEndsAtTheTimeOutWithWhatArrived) {
    uint32_t h = OpenOk(u"Dev 5");
    ASSERT_EQ(Set(h, u"TIMEOUT", u"100"), kStatusOk);
    std::string data;
    // Without the delimiter the answer ends on the message end alone.
    ASSERT_EQ(Write(h, "ABC?", 0), kStatusOk);
    uint32_t start = platform::TickCount();
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusTransfer);
    uint32_t elapsed = platform::TickCount() - start;
    EXPECT_EQ(data, "ABC?");
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 3000u);

    // An answer slower than the time-out is not waited for.
    m_Sim.Configure("delay 400");
    ASSERT_EQ(Write(h, "*IDN?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusTransfer);
    EXPECT_EQ(data, "");
    ASSERT_EQ(Set(h, u"TIMEOUT", u"2000"), kStatusOk);
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "XVR-SIMBUS,DEV5,0,1.0");
}

TEST_F(GpibDriverTest, LongReadsGoInChunksOfTheBusCount) {
    uint32_t h = OpenOk(u"Dev 9");
    ASSERT_EQ(Write(h, "DATA? 100000", 0), kStatusOk);
    std::string data;
    EXPECT_EQ(Read(h, &data, 100000, 0), kStatusBufferFull);
    ASSERT_EQ(data.size(), 100000u);
    EXPECT_EQ(data.substr(65534, 3), "OPQ");  // the pattern continues across chunks
    EXPECT_EQ(m_Sim.Calls("iecEnter "),
              (std::vector<std::string>{"iecEnter 9 65535", "iecEnter 9 34465"}));
}

TEST_F(GpibDriverTest, ABusClaimingMoreThanAskedNeverOverrunsTheBuffer) {
    uint32_t h = OpenOk(u"Dev 5");
    ASSERT_EQ(Write(h, "0123456789?", 0), kStatusOk);
    m_Sim.Configure("overreport 40");
    uint8_t buffer[32];
    std::memset(buffer, 0xEE, sizeof buffer);
    int32_t length = 8;
    std::u16string error;
    EXPECT_EQ(m_Driver.Read(h, buffer, &length, kReadZeroTerminate, &error), kStatusTransfer);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(buffer[7], 0);
    for (size_t i = 8; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0xEE) << i;
}

TEST_F(GpibDriverTest, ParametersTimeoutDelimiterAndTrigger) {
    uint32_t h = OpenOk(u"Dev 5");
    uint32_t zero = OpenOk(u"Dev 0");
    std::u16string value, error;
    EXPECT_EQ(m_Driver.ParamGet(h, u" delimiter ", &value, &error), kStatusOk);
    EXPECT_EQ(value, u"\\0D");
    EXPECT_EQ(m_Driver.ParamGet(h, u"timeout", &value, &error), kStatusUnknownParam);
    EXPECT_EQ(error, FormatText(kTextParamUnsupported, {u"TIMEOUT", u"GPIB"}));
    EXPECT_EQ(m_Driver.ParamSet(h, u"baud", u"9600", &error), kStatusUnknownParam);
    EXPECT_EQ(error, FormatText(kTextParamUnsupported, {u"BAUD", u"GPIB"}));

    EXPECT_EQ(Set(h, u"Trigger", u"anything"), kStatusOk);
    EXPECT_EQ(Set(h, u"TRIGGER", u""), kStatusOk);
    EXPECT_EQ(Set(zero, u"TRIGGER", u""), kStatusOk);
    EXPECT_EQ(m_Sim.Calls("iecCTrigger"),
              (std::vector<std::string>{"iecCTrigger 5", "iecCTrigger 5", "iecCTrigger"}));
    std::string data;
    ASSERT_EQ(Write(h, "TRIGGERS?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "2");

    // Time-outs beyond the bus's 16 bits reach it as its longest wait.
    for (const char16_t *timeout : {u"70000", u"-1", u"0"}) {
        ASSERT_EQ(Set(h, u"TIMEOUT", timeout), kStatusOk);
        ASSERT_EQ(Write(h, "X?", kWriteAppendDelimiter), kStatusOk);
        ASSERT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    }
    std::vector<std::string> params = m_Sim.Calls("iecParameter ");
    ASSERT_EQ(params.size(), 4u);
    EXPECT_EQ(params[1], "iecParameter 5 1 1 13 65535");
    EXPECT_EQ(params[2], "iecParameter 5 1 1 13 65535");
    EXPECT_EQ(params[3], "iecParameter 5 1 1 13 1000");
}

}  // namespace
}  // namespace xvr
