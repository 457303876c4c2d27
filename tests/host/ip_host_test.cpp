// The network driver through the exports, as a host uses it: the plumbing
// and the texts of the built library; the details are the driver tests'.
#include <gtest/gtest.h>

#include <string>

#include "base/texts.h"
#include "platform/platform.h"
#include "support/host_fixture.h"
#include "support/ip_peer.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;
using xvr::test::PeerSocket;

std::string Expected(uint32_t id, std::initializer_list<xvr::FormatArg> args = {}) {
    return xvr::platform::WideToAnsi(xvr::FormatText(id, args));
}

class IpHostTest : public xvr::test::InitializedHost {
protected:
    xvr::test::TcpListener listener;
};

TEST_F(IpHostTest, QuerySettingsPeerCloseAndTexts) {
    const auto &x = Host();
    uint32_t h = 0;
    ASSERT_EQ(x.OpenWithTimeout(kModule, &h, "TCP/IP", listener.Address().c_str(), 1000), XVR_OK)
        << x.ErrorText();
    PeerSocket peer = listener.Accept(2000);

    // A two-byte delimiter goes out whole after the command.
    EXPECT_EQ(x.ParamSet(h, "Delimiter", "\\0D\\0A"), XVR_OK);
    char value[64] = {};
    EXPECT_EQ(x.ParamGet(h, "DELIMITER", value, sizeof value), XVR_OK);
    EXPECT_STREQ(value, "\\0D\\0A");
    int32_t n = 5;
    EXPECT_EQ(x.Write(h, reinterpret_cast<const uint8_t *>("*IDN?"), &n, 2), XVR_OK);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(peer.Receive(7, 1000), "*IDN?\r\n");
    auto read = [&](int32_t status, const std::string &expected) {
        uint8_t buf[64];
        n = sizeof buf;
        EXPECT_EQ(x.Read(h, buf, &n, 1), status);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), static_cast<size_t>(n)), expected);
    };
    peer.Send("MAKER,MODEL\r\nhalf");
    read(XVR_READ_DELIMITER, "MAKER,MODEL");
    EXPECT_EQ(x.ParamSet(h, "BUFFER", "0"), XVR_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(x.ErrorText(), Expected(11003, {u"BUFFER", u"127.0.0.1"}));
    // A device clear drops the stale answer; control a socket lacks is refused.
    peer.Send("stale\r\n");
    for (int i = 0; i < 400 && x.ParamGet(h, "BUFFER", value, sizeof value) == XVR_OK &&
                    std::string(value) != "11";
         ++i)
        xvr::platform::SleepMs(5);
    EXPECT_STREQ(value, "11");  // "half" and "stale\r\n"
    EXPECT_EQ(x.ParamSet(h, "CLEAR", "1"), XVR_OK);
    EXPECT_EQ(x.ParamGet(h, "BUFFER", value, sizeof value), XVR_OK);
    EXPECT_STREQ(value, "0");
    EXPECT_EQ(x.ParamGet(h, "STB", value, sizeof value), XVR_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(x.ErrorText(), Expected(11003, {u"STB", u"127.0.0.1"}));
    peer.Send("half");

    // A closed connection gives the system's text, in the library's
    // language: compare the frame.
    peer.Close();
    read(XVR_ERR_TRANSFER, "half");
    const std::string prefix = Expected(11013, {u""});
    EXPECT_EQ(x.ErrorText().rfind(prefix, 0), 0u) << x.ErrorText();
    EXPECT_GT(x.ErrorText().size(), prefix.size() + 2);

    EXPECT_EQ(x.Close(h), XVR_CLOSE_RELEASED);
}

// Both systems read an address alike: a host text inet_addr takes is kept
// as written, and a port is a decimal number from 1 to 65535 or the open fails.
TEST_F(IpHostTest, AddressesReadAlikeOnBothSystems) {
    const auto &x = Host();
    const std::string port = std::to_string(listener.Port());
    uint32_t full = 0, shorter = 0;
    ASSERT_EQ(x.OpenWithTimeout(kModule, &full, "TCP/IP", ("127.0.0.1:" + port).c_str(), 1000),
              XVR_OK);
    ASSERT_EQ(x.OpenWithTimeout(kModule, &shorter, "TCP/IP", ("127.1:" + port).c_str(), 1000),
              XVR_OK)
        << x.ErrorText();
    EXPECT_NE(shorter, full);
    EXPECT_EQ(x.ParamSet(shorter, "BUFFER", "0"), XVR_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(x.ErrorText(), Expected(11003, {u"BUFFER", u"127.1"}));
    EXPECT_EQ(x.Close(shorter), XVR_CLOSE_RELEASED);
    EXPECT_EQ(x.Close(full), XVR_CLOSE_RELEASED);

    // 99999 would otherwise reach port 34463; none of these opens anything.
    for (const char *address :
         {"127.0.0.1:99999", "127.0.0.1:65536", "127.0.0.1:0", "127.0.0.1:", "127.0.0.1:abc",
          "127.0.0.1:80x", "127.0.0.1:-80", "127.0.0.1:+80", "127.0.0.1:80:90", "127.0.0.1:8 0"}) {
        uint32_t h = 0;
        EXPECT_EQ(x.OpenWithTimeout(kModule, &h, "UDP", address, 1000), XVR_ERR_BAD_ADDRESS)
            << address;
        EXPECT_EQ(x.ErrorText(), Expected(11015)) << address;
    }
    // Leading zeros and blanks around the number are still a port.
    uint32_t h = 0;
    EXPECT_EQ(x.OpenWithTimeout(kModule, &h, "UDP", "127.0.0.1: 065535 ", 1000), XVR_OK)
        << x.ErrorText();
    EXPECT_EQ(x.Close(h), XVR_CLOSE_RELEASED);
}

// The last DeInit takes connections still open with it: the peer sees them
// end, and no descriptor is left behind (counted where the system tells).
TEST_F(IpHostTest, DeInitClosesWhatIsOpenAndLeaksNothing) {
    const auto &x = Host();
    ASSERT_EQ(x.DeInit(kModule), XVR_OK);
    const int before = xvr::test::OpenDescriptorCount();
    uint32_t module = 0, h = 0;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(x.Init(nullptr, &module, 100, 100), XVR_OK);
        ASSERT_EQ(x.OpenWithTimeout(kModule, &h, "TCP/IP", listener.Address().c_str(), 1000),
                  XVR_OK);
        PeerSocket peer = listener.Accept(2000);
        if (i % 2 == 0) {
            EXPECT_EQ(x.Close(h), XVR_CLOSE_RELEASED);
        }
        ASSERT_EQ(x.DeInit(kModule), XVR_OK);
        ASSERT_TRUE(peer.WaitForEnd(2000));
    }
    EXPECT_EQ(xvr::test::OpenDescriptorCount(), before);
    ASSERT_EQ(x.Init(nullptr, &module, 100, 100), XVR_OK);
}

}  // namespace
