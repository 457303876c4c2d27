// The module frame through the exports, with the in-memory LOOP driver.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "drivers/registry.h"
#include "frame/module.h"
#include "base/texts.h"
#include "platform/platform.h"
#include "quvxvr.h"
#include "support/loop_driver.h"
#include "support/test_env.h"

namespace {

using xvr::test::LoopDriver;

std::string Text(uint32_t id) { return xvr::platform::WideToAnsi(xvr::LoadText(id)); }

std::string LastError() {
    char buf[2048];
    flXVRErrorTextGet(0, buf, sizeof buf);
    return buf;
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        xvr::test::RegisterLoopDrivers();
        ASSERT_EQ(flXVRInit(nullptr, &module, 100, 100), XVR_OK);
    }
    void TearDown() override {
        // Back to an uninitialised library with no driver objects.
        while (flXVRDeInit(module) == XVR_OK) {
        }
        EXPECT_EQ(LoopDriver::s_live, 0);
    }
    uint32_t Open(const char *driver, const char *address, int32_t expect = XVR_OK) {
        uint32_t h = 0xDEADBEEF;
        EXPECT_EQ(flXVROpen(module, &h, driver, address), expect) << LastError();
        return h;
    }
    xvr::test::ScopedXvrDir dir;  // no parameter file: logging off
    uint32_t module = 0;
};

TEST_F(FrameTest, HandlesCarrySlotAndDeviceNumbers) {
    EXPECT_EQ(module, 0x01000000u);
    uint32_t a = Open(" loop ", "A");
    uint32_t b = Open("Loop", "B");
    EXPECT_EQ(a, 0x01010001u);
    EXPECT_EQ(b, 0x01010002u);
    uint32_t m1 = Open("MANY", "X");
    uint32_t m2 = Open("many", "X");
    // Every MANY open gets a driver object of its own, each with device 1.
    EXPECT_EQ(m1, 0x01020001u);
    EXPECT_EQ(m2, 0x01030001u);
    EXPECT_EQ(flXVRClose(a), XVR_CLOSE_RELEASED);
    EXPECT_EQ(flXVRClose(b), XVR_CLOSE_RELEASED);
    // Slot 1 is free again and goes to the next new driver object.
    uint32_t m3 = Open("MANY", "Y");
    EXPECT_EQ(m3, 0x01010001u);
    EXPECT_EQ(LoopDriver::s_live, 3);
    for (uint32_t h : {m1, m2, m3}) EXPECT_EQ(flXVRClose(h), XVR_CLOSE_RELEASED);
    EXPECT_EQ(LoopDriver::s_live, 0);
}

TEST_F(FrameTest, SharedDeviceClosesOnLastClose) {
    uint32_t a1 = Open("LOOP", "A");
    uint32_t a2 = Open("LOOP", "A");
    uint32_t b = Open("LOOP", "B");
    EXPECT_EQ(a1, a2);
    EXPECT_EQ(flXVRClose(a1), XVR_OK);
    EXPECT_EQ(flXVRClose(a2), XVR_CLOSE_RELEASED);
    // The driver still serves B: the driver answers for the closed device.
    EXPECT_EQ(flXVRClose(a1), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(LastError(), Text(11000));
    EXPECT_EQ(flXVRClose(b), XVR_CLOSE_RELEASED);
    // Now the driver object is gone: the frame answers.
    EXPECT_EQ(flXVRClose(b), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(LastError(), Text(11007));
    EXPECT_EQ(LoopDriver::s_live, 0);
}

TEST_F(FrameTest, BadHandlesAreRefusedByEveryCall) {
    Open("LOOP", "A");
    uint8_t buf[8];
    char value[32];
    for (uint32_t h : {0x02010001u, 0x01000001u, 0x01050001u, 0u}) {
        int32_t len = sizeof buf;
        EXPECT_EQ(flXVRRead(h, buf, &len, 0), XVR_ERR_BAD_HANDLE);
        EXPECT_EQ(len, 8);
        EXPECT_EQ(flXVRWrite(h, buf, &len, 0), XVR_ERR_BAD_HANDLE);
        EXPECT_EQ(flXVRParamSet(h, "TIMEOUT", "5"), XVR_ERR_BAD_HANDLE);
        std::strcpy(value, "junk");
        EXPECT_EQ(flXVRParamGet(h, "TIMEOUT", value, sizeof value), XVR_ERR_BAD_HANDLE);
        EXPECT_STREQ(value, "");
        EXPECT_EQ(flXVRClose(h), XVR_ERR_BAD_HANDLE);
        EXPECT_EQ(LastError(), Text(11007));
    }
    // Device number 0 on a valid slot reaches the driver.
    EXPECT_EQ(flXVRClose(0x01010000u), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(LastError(), Text(11000));
}

TEST_F(FrameTest, FailedOpensLeaveTheRightHandle) {
    uint32_t h = 1;
    EXPECT_EQ(flXVROpen(0, &h, "LOOP", "A"), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(LastError(), Text(11007));

    EXPECT_EQ(flXVROpen(module, &h, " lpt ", "1"), XVR_ERR_UNKNOWN_DRIVER);
    EXPECT_EQ(h, 0x01000000u);
    EXPECT_EQ(LastError(), xvr::platform::WideToAnsi(xvr::FormatText(11008, {u"LPT"})));

    // A new driver object whose open fails is dropped: handle 0.
    EXPECT_EQ(flXVROpen(module, &h, "LOOP", "FAIL"), XVR_ERR_OPEN_FAILED);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(LoopDriver::s_live, 0);
    // An existing one stays, and the handle keeps marker and slot.
    uint32_t a = Open("LOOP", "A");
    EXPECT_EQ(flXVROpen(module, &h, "LOOP", "FAIL"), XVR_ERR_OPEN_FAILED);
    EXPECT_EQ(h, 0x01010000u);
    EXPECT_EQ(LoopDriver::s_live, 1);
    // Success empties the last error text.
    EXPECT_EQ(flXVRParamSet(a, "TIMEOUT", "10"), XVR_OK);
    EXPECT_EQ(LastError(), "");
    EXPECT_EQ(flXVRClose(a), XVR_CLOSE_RELEASED);
}

TEST_F(FrameTest, ExceptionsNeverCrossTheBoundary) {
    uint32_t h = 1;
    EXPECT_EQ(flXVROpen(module, &h, "LOOP", "THROW"), XVR_ERR_OPEN_FAILED);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(LastError(), Text(11018));
    EXPECT_EQ(LoopDriver::s_live, 0);
    xvr::RegisterDriver(u"NOMEM", []() -> std::unique_ptr<xvr::iXVR_Functions> {
        throw std::bad_alloc();
    });
    EXPECT_EQ(flXVROpen(module, &h, "NOMEM", "A"), XVR_ERR_OPEN_FAILED);
    EXPECT_EQ(h, 0u);
}

TEST_F(FrameTest, TableHoldsAtMost255DriverObjects) {
    std::vector<uint32_t> handles;
    for (int i = 0; i < 255; ++i) handles.push_back(Open("MANY", "X"));
    EXPECT_EQ(handles.back(), 0x01FF0001u);
    uint32_t h = 1;
    EXPECT_EQ(flXVROpen(module, &h, "MANY", "X"), XVR_ERR_OPEN_FAILED);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(LastError(), Text(11018));
    EXPECT_EQ(LoopDriver::s_live, 255);
    // Existing driver objects still take opens, and a freed slot is reused.
    EXPECT_EQ(flXVRClose(handles[9]), XVR_CLOSE_RELEASED);
    EXPECT_EQ(Open("MANY", "Y"), 0x010A0001u);
    handles[9] = 0x010A0001u;
    for (uint32_t x : handles) EXPECT_EQ(flXVRClose(x), XVR_CLOSE_RELEASED);
}

// A driver object is made outside the table lock (a "QUV GPIB" object reads
// the parameter file when made): other calls go on meanwhile, and two opens
// that each make an object of one shared name end with one object.
TEST_F(FrameTest, MakingADriverObjectHoldsUpNoOtherCall) {
    using namespace std::chrono_literals;
    static std::mutex m;
    static std::condition_variable cv;
    static int making;
    static bool go;
    making = 0;
    go = false;
    xvr::RegisterDriver(u"SLOW", [] {
        std::unique_lock<std::mutex> lock(m);
        ++making;
        cv.notify_all();
        cv.wait_for(lock, 10s, [] { return go; });
        return std::make_unique<LoopDriver>(u"SLOW");
    });
    const uint32_t a = Open("LOOP", "A");
    auto open = [this] {
        uint32_t h = 0;
        return flXVROpen(module, &h, "SLOW", "X") == XVR_OK ? h : 0u;
    };
    auto first = std::async(std::launch::async, open);
    auto second = std::async(std::launch::async, open);
    {
        std::unique_lock<std::mutex> lock(m);
        EXPECT_TRUE(cv.wait_for(lock, 10s, [] { return making == 2; }));
    }
    auto others = std::async(std::launch::async, [&] {
        uint32_t b = 0;
        char value[16];
        return flXVROpen(module, &b, "LOOP", "B") == XVR_OK && flXVRClose(b) == XVR_CLOSE_RELEASED &&
               flXVRParamGet(a, "TIMEOUT", value, sizeof value) == XVR_OK;
    });
    EXPECT_EQ(others.wait_for(10s), std::future_status::ready);
    {
        std::lock_guard<std::mutex> lock(m);
        go = true;
    }
    cv.notify_all();
    EXPECT_TRUE(others.get());
    const uint32_t h1 = first.get(), h2 = second.get();
    EXPECT_EQ(h1, 0x01020001u);
    EXPECT_EQ(h2, h1);
    EXPECT_EQ(LoopDriver::s_live, 2);
    EXPECT_EQ(flXVRClose(h1), XVR_OK);
    EXPECT_EQ(flXVRClose(h2), XVR_CLOSE_RELEASED);
    EXPECT_EQ(flXVRClose(a), XVR_CLOSE_RELEASED);
}

TEST_F(FrameTest, InitAndDeInitNest) {
    uint32_t second = 0;
    ASSERT_EQ(flXVRInit(nullptr, &second, 100, 100), XVR_OK);
    uint32_t a = Open("LOOP", "A");
    EXPECT_EQ(flXVRDeInit(module), XVR_OK);
    // Still initialised once: the device lives on.
    EXPECT_EQ(flXVRParamSet(a, "TIMEOUT", "20"), XVR_OK);
    EXPECT_EQ(flXVRDeInit(0x02000000u), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(LastError(), Text(11007));
    EXPECT_EQ(LoopDriver::s_live, 1);
    // The last DeInit destroys the driver objects without closing.
    EXPECT_EQ(flXVRDeInit(module), XVR_OK);
    EXPECT_EQ(LoopDriver::s_live, 0);
    EXPECT_EQ(flXVRParamSet(a, "TIMEOUT", "20"), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(flXVRDeInit(module), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(LastError(), "");
    // Opens work without Init as well.
    uint32_t b = Open("LOOP", "B");
    EXPECT_EQ(flXVRClose(b), XVR_CLOSE_RELEASED);
}

TEST_F(FrameTest, TransfersAndFlagsPassThrough) {
    uint32_t a = Open("LOOP", "A");
    const uint8_t msg[] = {'A', 'B'};
    int32_t len = 2;
    EXPECT_EQ(flXVRWrite(a, msg, &len, XVR_WRITE_APPEND_DELIMITER), XVR_OK);
    uint8_t buf[10];
    len = sizeof buf;
    EXPECT_EQ(flXVRRead(a, buf, &len, XVR_READ_STOP_AT_DELIMITER | XVR_READ_ZERO_TERMINATE),
              XVR_READ_DELIMITER);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf)), "AB");
    // Null buffers with a length are refused before the driver sees them.
    len = 4;
    EXPECT_EQ(flXVRRead(a, nullptr, &len, 0), XVR_ERR_TRANSFER);
    EXPECT_EQ(flXVRWrite(a, nullptr, &len, 0), XVR_ERR_TRANSFER);
    EXPECT_EQ(flXVRRead(a, buf, nullptr, 0), XVR_ERR_TRANSFER);
    EXPECT_EQ(flXVRClose(a), XVR_CLOSE_RELEASED);
}

TEST_F(FrameTest, ParamGetNeedsRoomForValueAndZero) {
    uint32_t a = Open("LOOP", "A");
    ASSERT_EQ(flXVRParamSet(a, "timeout", "12345"), XVR_OK);
    char value[6];
    EXPECT_EQ(flXVRParamGet(a, " TIMEOUT ", value, 6), XVR_OK);
    EXPECT_STREQ(value, "12345");
    std::memset(value, 'x', sizeof value);
    EXPECT_EQ(flXVRParamGet(a, "TIMEOUT", value, 5), XVR_ERR_VALUE_TOO_LONG);
    EXPECT_EQ(value[0], 0);
    EXPECT_EQ(LastError(), Text(11009));
    // A size below 1 writes nothing at all.
    value[0] = 'x';
    EXPECT_EQ(flXVRParamGet(a, "TIMEOUT", value, 0), XVR_ERR_VALUE_TOO_LONG);
    EXPECT_EQ(value[0], 'x');
    EXPECT_EQ(flXVRParamGet(a, "TIMEOUT", value, -5), XVR_ERR_VALUE_TOO_LONG);
    EXPECT_EQ(value[0], 'x');
    EXPECT_EQ(flXVRClose(a), XVR_CLOSE_RELEASED);
}

TEST_F(FrameTest, ErrorTextIsCutAndZeroFilled) {
    uint32_t h;
    flXVROpen(module, &h, "LPT", "1");
    std::string full = LastError();
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(flXVRErrorTextGet(0, small, sizeof small), XVR_OK);
    EXPECT_EQ(std::string(small), full.substr(0, 7));
    small[0] = 'x';
    EXPECT_EQ(flXVRErrorTextGet(0, small, 0), XVR_OK);
    EXPECT_EQ(small[0], 'x');
    // After a success the text is empty and the buffer all zeros.
    flXVRDriverCountGet(module, &h);
    std::memset(small, 'x', sizeof small);
    flXVRErrorTextGet(0, small, sizeof small);
    EXPECT_EQ(std::string(small, sizeof small), std::string(8, '\0'));
}

TEST_F(FrameTest, RetiredExportsSayTheirName) {
    EXPECT_EQ(flXVRDeviceConfig(), XVR_ERR_RETIRED);
    EXPECT_EQ(LastError(), xvr::platform::WideToAnsi(xvr::FormatText(11010, {u"flXVRDeviceConfig"})));
    EXPECT_EQ(flXVRParamSave(), XVR_ERR_RETIRED);
    EXPECT_NE(LastError().find(">flXVRParamSave<"), std::string::npos);
    EXPECT_EQ(flXVRParamLoad(), XVR_ERR_RETIRED);
    EXPECT_NE(LastError().find(">flXVRParamLoad<"), std::string::npos);
}

}  // namespace
