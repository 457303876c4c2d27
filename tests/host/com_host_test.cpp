// The serial driver through the exports.  The instrument is a
// pseudo-terminal: on Linux the test plays it itself; under wine a Linux-side
// peer (com_wine_peer) plays it and names the port in XVR_TEST_COM.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "frame/texts.h"
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
        m_instrument = std::make_unique<xvr::test::PtyInstrument>(&m_pty);
        m_port = m_pty.SlavePath();
#endif
        uint32_t module = 0;
        ASSERT_EQ(Host().Init(nullptr, &module, 100, 100), 0);
        m_initialised = true;
    }
    void TearDown() override {
        if (m_initialised) Host().DeInit(kModule);
    }

    uint32_t Open() {
        uint32_t h = 0;
        EXPECT_EQ(Host().Open(kModule, &h, "COM", m_port.c_str()), 0) << Host().ErrorText();
        return h;
    }
    int32_t Write(uint32_t h, const std::string &data, uint32_t flags, int32_t *count = nullptr) {
        int32_t n = static_cast<int32_t>(data.size());
        int32_t status = Host().Write(h, reinterpret_cast<const uint8_t *>(data.data()), &n, flags);
        if (count) *count = n;
        return status;
    }
    int32_t Read(uint32_t h, int32_t size, uint32_t flags, std::string *data) {
        std::string buf(static_cast<size_t>(size), '\0');
        int32_t n = size;
        int32_t status = Host().Read(h, reinterpret_cast<uint8_t *>(&buf[0]), &n, flags);
        data->assign(buf, 0, n < 0 ? 0 : static_cast<size_t>(n));
        return status;
    }
    int32_t Set(uint32_t h, const char *name, const char *value) {
        return Host().ParamSet(h, name, value);
    }
    // What the instrument says about the line.
    std::string Line(uint32_t h) {
        std::string answer;
        EXPECT_EQ(Write(h, "LINE?", 2), 0);
        EXPECT_EQ(Read(h, 64, 1, &answer), 2);
        return answer;
    }

    std::string m_port;
    bool m_initialised = false;
#ifndef _WIN32
    xvr::test::PtyPair m_pty;
    std::unique_ptr<xvr::test::PtyInstrument> m_instrument;
#endif
};

TEST_F(ComHost, QueriesShareThePortUntilTheLastClose) {
    const auto &x = Host();
    uint32_t h = Open();
    uint32_t again = 0;
    ASSERT_EQ(x.Open(kModule, &again, " com ", (" " + m_port + " ").c_str()), 0);
    EXPECT_EQ(again, h);

    int32_t n = 0;
    EXPECT_EQ(Write(h, "ECHO hello", 2, &n), 0);
    EXPECT_EQ(n, 10);
    std::string answer;
    EXPECT_EQ(Read(h, 64, 1, &answer), 2);
    EXPECT_EQ(answer, "hello");
    EXPECT_EQ(Write(h, "ECHO again", 2), 0);
    EXPECT_EQ(Read(h, 64, 3, &answer), 2);
    EXPECT_EQ(answer, "again\r");

    EXPECT_EQ(x.Close(h), 0);
    EXPECT_EQ(Write(h, "ECHO still", 2), 0);
    EXPECT_EQ(Read(h, 64, 1, &answer), 2);
    EXPECT_EQ(answer, "still");
    EXPECT_EQ(x.Close(h), 3);
    EXPECT_EQ(x.Close(h), -3);  // the driver went with its last port
    EXPECT_EQ(x.ErrorText(), Expected(xvr::kTextBadHandle));
}

TEST_F(ComHost, SettingsReachTheLineWithEverySuccessfulSet) {
    uint32_t h = Open();
    char value[32] = {};
    ASSERT_EQ(Host().ParamGet(h, "baudrate", value, sizeof value), 0);
    EXPECT_STREQ(value, "9600");

    EXPECT_EQ(Set(h, "BAUDRATE", "19200"), 0) << Host().ErrorText();
    EXPECT_EQ(Set(h, "STOPBITS", "2"), 0);
    EXPECT_EQ(Set(h, " Handshake ", "rts/cts"), 0);
    EXPECT_EQ(Line(h), "19200 8 N 2 RTSCTS");
    EXPECT_EQ(Set(h, "HANDSHAKE", "XON/XOFF"), 0);
    EXPECT_EQ(Set(h, "STOPBITS", "1"), 0);
    EXPECT_EQ(Line(h), "19200 8 N 1 XONXOFF");

    // A value the set rejects waits in the record for the next good set.
    EXPECT_EQ(Set(h, "STOPBITS", "3"), -18);
    EXPECT_EQ(Host().ErrorText(), Expected(xvr::kTextParamInvalid, {u"STOPBITS"}));
    EXPECT_EQ(Line(h), "19200 8 N 1 XONXOFF");
    EXPECT_EQ(Set(h, "HANDSHAKE", "NONE"), 0);
    EXPECT_EQ(Line(h), "19200 8 N 2 NONE");

    // A pseudo-terminal runs no parity: the line refuses it.
#ifdef _WIN32
    if (Set(h, "PARITY", "EVEN") == 0) {
        EXPECT_EQ(Set(h, "PARITY", "NONE"), 0);
        GTEST_SKIP() << "wine's SetCommState does not report the parity a pseudo-terminal drops";
    }
#else
    EXPECT_EQ(Set(h, "PARITY", "EVEN"), -1003);
#endif
    EXPECT_EQ(Host().ErrorText().rfind(
                  Expected(xvr::kTextSetSettingsFailed, {xvr::platform::AnsiToWide(m_port), u""}),
                  0),
              0u)
        << Host().ErrorText();
    ASSERT_EQ(Host().ParamGet(h, "PARITY", value, sizeof value), 0);
    EXPECT_STREQ(value, "EVEN");
    EXPECT_EQ(Set(h, "PARITY", "NONE"), 0);
    EXPECT_EQ(Host().Close(h), 3);
}

TEST_F(ComHost, TheTimeOutBoundsEachByte) {
    uint32_t h = Open();
    ASSERT_EQ(Set(h, "TIMEOUT", "400"), 0);
    ASSERT_EQ(Write(h, "DRIP abcde", 2), 0);
    auto start = Clock::now();
    std::string data;
    EXPECT_EQ(Read(h, 5, 0, &data), 1);
    EXPECT_EQ(data, "abcde");
    EXPECT_GE(MsSince(start), 600);

    ASSERT_EQ(Set(h, "TIMEOUT", "200"), 0);
    start = Clock::now();
    EXPECT_EQ(Read(h, 5, 1, &data), -6);
    EXPECT_EQ(data, "");
    EXPECT_GE(MsSince(start), 180);
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_EQ(Host().ErrorText(), "");
    EXPECT_EQ(Host().Close(h), 3);
}

TEST_F(ComHost, APortThatCannotOpenNamesItself) {
    xvr::test::ScopedXvrDir dir;
    uint32_t h = 7;
    EXPECT_EQ(Host().Open(kModule, &h, "COM", "com99"), -20);
    EXPECT_EQ(h, 0u);
    std::string text = Host().ErrorText();
    EXPECT_EQ(text.rfind("COM99:", 0), 0u) << text;
    EXPECT_GT(text.size(), 6u);
}

TEST_F(ComHost, AHungUpLineFailsTheReadAndStillCloses) {
    uint32_t h = Open();
    ASSERT_EQ(Set(h, "TIMEOUT", "3000"), 0);
    ASSERT_EQ(Write(h, "HANGUP", 2), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto start = Clock::now();
    std::string data;
    int32_t status = Read(h, 64, 1, &data);
    EXPECT_LT(status, 0);
    EXPECT_LT(MsSince(start), 6000);
    EXPECT_EQ(Host().Close(h), 3);
}

}  // namespace
