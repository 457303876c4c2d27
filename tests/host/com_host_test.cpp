// The serial driver through the exports, for what only the exported path
// can break: on Windows the communications calls themselves.  The instrument
// is a pseudo-terminal: on Linux the test plays it itself; under wine a
// Linux-side peer (com_wine_peer) plays it and names the port in XVR_TEST_COM.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/texts.h"
#include "platform/platform.h"
#include "support/pty_pair.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kModule = 0x01000000u;

std::string Expected(uint32_t id, std::initializer_list<xvr::FormatArg> args = {}) {
    return xvr::platform::WideToAnsi(xvr::FormatText(id, args));
}

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ComHost : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        const char *port = std::getenv("XVR_TEST_COM");
        if (!port || !*port) GTEST_SKIP() << "no instrument port: the com_wine test provides one";
        m_port = port;
#else
        ASSERT_TRUE(m_pty.Ok());
        m_port = m_pty.SlavePath();
#endif
        uint32_t module = 0;
        ASSERT_EQ(Host().Init(nullptr, &module, 100, 100), XVR_OK);
    }
    void TearDown() override { Host().DeInit(kModule); }

    uint32_t Open() {
        uint32_t h = 0;
        EXPECT_EQ(Host().Open(kModule, &h, "COM", m_port.c_str()), XVR_OK) << Host().ErrorText();
        return h;
    }
    // Sends a line to the instrument; the count leaves the delimiter out.
    void Command(uint32_t h, const std::string &line) {
        int32_t n = static_cast<int32_t>(line.size());
        EXPECT_EQ(Host().Write(h, reinterpret_cast<const uint8_t *>(line.data()), &n, 2), XVR_OK);
        EXPECT_EQ(n, static_cast<int32_t>(line.size()));
    }
    // The bytes read land in m_data.
    int32_t Read(uint32_t h, int32_t size, uint32_t flags) {
        m_data.assign(static_cast<size_t>(size), '\0');
        int32_t n = size;
        int32_t status = Host().Read(h, reinterpret_cast<uint8_t *>(&m_data[0]), &n, flags);
        m_data.resize(n < 0 ? 0 : static_cast<size_t>(n));
        return status;
    }
    std::string Query(uint32_t h, const std::string &line) {
        Command(h, line);
        EXPECT_EQ(Read(h, 64, 1), XVR_READ_DELIMITER);
        return m_data;
    }

    std::string m_port, m_data;
#ifndef _WIN32
    xvr::test::PtyPair m_pty;
    xvr::test::PtyInstrument m_instrument{&m_pty};
#endif
};

TEST_F(ComHost, QueriesShareThePortAndSettingsReachTheLine) {
    uint32_t h = Open(), again = 0;
    ASSERT_EQ(Host().Open(kModule, &again, " com ", (" " + m_port + " ").c_str()), XVR_OK);
    EXPECT_EQ(again, h);
    EXPECT_EQ(Query(h, "hello"), "hello");
    EXPECT_EQ(Host().Close(h), XVR_OK);
    EXPECT_EQ(Host().ParamSet(h, "BAUDRATE", "19200"), XVR_OK) << Host().ErrorText();
    EXPECT_EQ(Host().ParamSet(h, "STOPBITS", "2"), XVR_OK);
    EXPECT_EQ(Host().ParamSet(h, " Handshake ", "rts/cts"), XVR_OK);
    EXPECT_EQ(Query(h, "LINE?"), "19200 8 N 2 RTSCTS");
    EXPECT_EQ(Host().ParamSet(h, "HANDSHAKE", "XON/XOFF"), XVR_OK);
    EXPECT_EQ(Host().ParamSet(h, "STOPBITS", "1"), XVR_OK);
    EXPECT_EQ(Query(h, "LINE?"), "19200 8 N 1 XONXOFF");
    EXPECT_EQ(Host().ParamSet(h, "HANDSHAKE", "NONE"), XVR_OK);
    EXPECT_EQ(Query(h, "LINE?"), "19200 8 N 1 NONE");
    // A pseudo-terminal runs 8 data bits only: fewer are refused, and the
    // line and the record keep 8.
    char bits[8] = {};
    EXPECT_EQ(Host().ParamSet(h, "DATABITS", "5"), XVR_ERR_BAD_VALUE);
    EXPECT_EQ(Host().ErrorText(), Expected(xvr::kTextParamInvalid, {u"DATABITS"}));
    ASSERT_EQ(Host().ParamGet(h, "DATABITS", bits, sizeof bits), XVR_OK);
    EXPECT_STREQ(bits, "8");
    EXPECT_EQ(Query(h, "LINE?"), "19200 8 N 1 NONE");

    // A pseudo-terminal runs no parity: the line refuses it, the record keeps it.
    int32_t parity = Host().ParamSet(h, "PARITY", "EVEN");
    const std::string text = Host().ErrorText();
    char value[32] = {};
    ASSERT_EQ(Host().ParamGet(h, "PARITY", value, sizeof value), XVR_OK);
    EXPECT_STREQ(value, "EVEN");
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
    EXPECT_EQ(Host().Close(h), XVR_ERR_BAD_HANDLE);  // the driver went with its last port
    EXPECT_EQ(Host().ErrorText(), Expected(xvr::kTextBadHandle));
    EXPECT_EQ(parity, XVR_ERR_COM_SET_SETTINGS);
    const std::string refused =
        Expected(xvr::kTextSetSettingsFailed, {xvr::platform::AnsiToWide(m_port), u""});
    EXPECT_EQ(text.rfind(refused, 0), 0u) << text;
}

TEST_F(ComHost, TheTimeOutBoundsEachByteAndAHungUpLineEndsTheRead) {
    uint32_t h = Open();
    ASSERT_EQ(Host().ParamSet(h, "TIMEOUT", "400"), XVR_OK);
    Command(h, "DRIP abcdeAyABz");  // a byte every 150 ms
    auto start = Clock::now();
    EXPECT_EQ(Read(h, 5, 0), XVR_READ_BUFFER_FULL);
    EXPECT_EQ(m_data, "abcde");
    EXPECT_GE(MsSince(start), 600);
    // A delimiter is found across arrivals, and nothing beyond it is taken;
    // an empty one ends a read after one byte.
    ASSERT_EQ(Host().ParamSet(h, "DELIMITER", "AB"), XVR_OK);
    EXPECT_EQ(Read(h, 64, 1), XVR_READ_DELIMITER);
    EXPECT_EQ(m_data, "Ay");
    ASSERT_EQ(Host().ParamSet(h, "DELIMITER", ""), XVR_OK);
    EXPECT_EQ(Read(h, 64, 1), XVR_READ_DELIMITER);
    EXPECT_EQ(m_data, "z");

    ASSERT_EQ(Host().ParamSet(h, "TIMEOUT", "200"), XVR_OK);
    start = Clock::now();
    EXPECT_EQ(Read(h, 5, 1), XVR_ERR_TRANSFER);
    EXPECT_EQ(m_data, "");
    const int64_t ms = MsSince(start);
    EXPECT_TRUE(ms >= 180 && ms < 3000) << ms << " ms";
    EXPECT_EQ(Host().ErrorText(), "");

    ASSERT_EQ(Host().ParamSet(h, "TIMEOUT", "3000"), XVR_OK);
    Command(h, "HANGUP\r");  // the delimiter is empty now
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    start = Clock::now();
    EXPECT_LT(Read(h, 64, 1), 0);
    EXPECT_LT(MsSince(start), 6000);
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

// TIMEOUT -1 stores 4294967295 ms; it and the time-outs near it wait for the
// next byte in both kinds of read instead of giving up at once.
TEST_F(ComHost, TheLongestTimeOutsWaitForTheNextByte) {
    uint32_t h = Open();
    for (const char *timeout : {"-1", "-2", "-1000", "2147483647", "-2147483648"}) {
        SCOPED_TRACE(timeout);
        ASSERT_EQ(Host().ParamSet(h, "TIMEOUT", timeout), XVR_OK);
        Command(h, "DRIP xyz");  // a byte every 150 ms
        EXPECT_EQ(Read(h, 2, 0), XVR_READ_BUFFER_FULL);
        EXPECT_EQ(m_data, "xy");
        EXPECT_EQ(Read(h, 1, 1), XVR_READ_BUFFER_FULL);
        EXPECT_EQ(m_data, "z");
    }
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

TEST_F(ComHost, APortThatCannotOpenNamesItself) {
    xvr::test::ScopedXvrDir dir;
    uint32_t h = 7;
    EXPECT_EQ(Host().Open(kModule, &h, "COM", "com99"), XVR_ERR_NOT_FOUND);
    EXPECT_EQ(h, 0u);
    const std::string text = Host().ErrorText();
    EXPECT_EQ(text.rfind("COM99:", 0), 0u) << text;
    EXPECT_GT(text.size(), 6u);
}

}  // namespace
