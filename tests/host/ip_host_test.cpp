// The network drivers through the exports, as a host uses them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "frame/texts.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "support/ip_peer.h"
#include "support/test_env.h"


namespace {

using xvr::test::Host;
using xvr::test::PeerSocket;
using xvr::test::TcpListener;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kModule = 0x01000000u;

std::string Expected(uint32_t id, std::initializer_list<xvr::FormatArg> args = {}) {
    return xvr::platform::WideToAnsi(xvr::FormatText(id, args));
}

// Init and DeInit around each test, with an empty parameter directory.
class IpHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        uint32_t module = 0;
        ASSERT_EQ(Host().Init(nullptr, &module, 100, 100), 0);
    }
    void TearDown() override { Host().DeInit(kModule); }

    int32_t Write(uint32_t h, const std::string &data, uint32_t flags, int32_t *count) {
        *count = static_cast<int32_t>(data.size());
        return Host().Write(h, reinterpret_cast<const uint8_t *>(data.data()), count, flags);
    }
    int32_t Read(uint32_t h, int32_t size, uint32_t flags, std::string *data) {
        std::string buf(static_cast<size_t>(size), '\0');
        int32_t n = size;
        int32_t status = Host().Read(h, reinterpret_cast<uint8_t *>(&buf[0]), &n, flags);
        data->assign(buf, 0, n < 0 ? 0 : static_cast<size_t>(n));
        return status;
    }
    std::string Get(uint32_t h, const char *name) {
        char value[64] = {};
        EXPECT_EQ(Host().ParamGet(h, name, value, sizeof value), 0);
        return value;
    }

    xvr::test::ScopedXvrDir dir;
    TcpListener listener;
};

TEST_F(IpHostTest, QueryChangeSettingsAndClose) {
    const auto &x = Host();
    uint32_t h = 0;
    ASSERT_EQ(x.OpenWithTimeout(kModule, &h, "TCP/IP", listener.Address().c_str(), 1000), 0)
        << x.ErrorText();
    PeerSocket peer = listener.Accept(2000);
    ASSERT_TRUE(peer.Valid());
    uint32_t again = 0;
    ASSERT_EQ(x.Open(kModule, &again, " tcp/ip ", listener.Address().c_str()), 0);
    EXPECT_EQ(again, h);

    int32_t n = 0;
    EXPECT_EQ(Write(h, "*IDN?", 2, &n), 0);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(peer.ReceiveUntil("\n", 1000), "*IDN?\n");
    peer.Send("MAKER,MODEL\nmore");
    std::string answer;
    EXPECT_EQ(Read(h, 64, 1, &answer), 2);
    EXPECT_EQ(answer, "MAKER,MODEL");
    EXPECT_EQ(Get(h, "BUFFER"), "4");

    EXPECT_EQ(x.ParamSet(h, "Delimiter", "\\0D\\0A"), 0);
    EXPECT_EQ(x.ParamSet(h, "TIMEOUT", "150"), 0);
    EXPECT_EQ(Get(h, "DELIMITER"), "\\0D\\0A");
    EXPECT_EQ(Get(h, "TIMEOUT"), "150");
    EXPECT_EQ(Read(h, 64, 1, &answer), -6);
    EXPECT_EQ(answer, "more");
    EXPECT_EQ(x.ErrorText(), "");
    EXPECT_EQ(x.ParamSet(h, "BUFFER", "0"), -11);
    EXPECT_EQ(x.ErrorText(), Expected(11003, {u"BUFFER", u"127.0.0.1"}));

    EXPECT_EQ(x.Close(h), 0);
    peer.Close();
    EXPECT_EQ(x.Close(h), 3);
    EXPECT_EQ(x.Close(h), -3);
    EXPECT_EQ(x.ErrorText(), Expected(11007));
}

TEST_F(IpHostTest, OpenFailuresAndPeerClose) {
    const auto &x = Host();
    uint32_t h = 0;
    EXPECT_EQ(x.Open(kModule, &h, "TCP/IP", "127.0.0.1"), -16);
    EXPECT_EQ(x.ErrorText(), Expected(11015));
    EXPECT_EQ(x.Open(kModule, &h, "TCP/IP", "no-such-host.invalid:5025"), -20);
    EXPECT_EQ(x.ErrorText(), Expected(11017));

    ASSERT_EQ(x.Open(kModule, &h, "TCP/IP", listener.Address().c_str()), 0);
    PeerSocket peer = listener.Accept(2000);
    ASSERT_EQ(x.ParamSet(h, "TIMEOUT", "5000"), 0);
    peer.Send("half");
    peer.Close();
    std::string data;
    auto start = Clock::now();
    EXPECT_EQ(Read(h, 64, 1, &data), -6);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              1000);
    EXPECT_EQ(data, "half");
    // The system's text comes in the library's language: compare the frame.
    const std::string prefix = Expected(11013, {u""});
    EXPECT_EQ(x.ErrorText().rfind(prefix, 0), 0u) << x.ErrorText();
    EXPECT_GT(x.ErrorText().size(), prefix.size() + 2);
    EXPECT_EQ(x.Close(h), 3);
}

// The last DeInit takes open connections with it: the peer sees them end.
TEST_F(IpHostTest, DeInitClosesOpenConnections) {
    const auto &x = Host();
    uint32_t h = 0;
    ASSERT_EQ(x.Open(kModule, &h, "TCP/IP", listener.Address().c_str()), 0);
    PeerSocket peer = listener.Accept(2000);
    EXPECT_EQ(x.DeInit(kModule), 0);
    EXPECT_TRUE(peer.WaitForEnd(2000));
    uint32_t module = 0;
    ASSERT_EQ(x.Init(nullptr, &module, 100, 100), 0);
}

#ifndef _WIN32
TEST_F(IpHostTest, NoDescriptorsLeakAcrossInitDeInitCycles) {
    const auto &x = Host();
    ASSERT_EQ(x.DeInit(kModule), 0);
    const int before = xvr::test::OpenDescriptorCount();
    for (int i = 0; i < 1000; ++i) {
        uint32_t module = 0, h = 0;
        ASSERT_EQ(x.Init(nullptr, &module, 100, 100), 0);
        ASSERT_EQ(x.OpenWithTimeout(kModule, &h, "TCP/IP", listener.Address().c_str(), 1000), 0);
        PeerSocket peer = listener.Accept(2000);
        if (i % 2 == 0) {
            EXPECT_EQ(x.Close(h), 3);
        }
        ASSERT_EQ(x.DeInit(kModule), 0);
    }
    EXPECT_EQ(xvr::test::OpenDescriptorCount(), before);
    uint32_t module = 0;
    ASSERT_EQ(x.Init(nullptr, &module, 100, 100), 0);
}
#endif

}  // namespace
