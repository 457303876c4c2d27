// The network driver against loopback peers started by each test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "drivers/ip/ip_driver.h"
#include "frame/texts.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "support/host_api.h"
#include "support/ip_peer.h"


namespace {

using namespace xvr;
using xvr::test::PeerSocket;
using xvr::test::TcpListener;
using xvr::test::UdpPeer;
using Clock = std::chrono::steady_clock;

std::u16string W(const std::string &s) { return std::u16string(s.begin(), s.end()); }

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

template <class Driver>
std::unique_ptr<CXVR_IP> MakeDriver(const char16_t *name, uint32_t type) {
    auto d = std::make_unique<Driver>(name);
    d->m_lTransportType = type;
    return d;
}

std::u16string ClosedText() {
    return FormatText(kTextReceiveFailed, {SystemText(platform::SocketResetError())});
}

class IpDriverTest : public ::testing::Test {
protected:
    std::unique_ptr<CXVR_IP> tcp = MakeDriver<CXVR_TCP>(u"TCP/IP", 1);
    TcpListener listener;
    std::u16string error;

    int32_t Open(CXVR_IP *d, const std::string &address, uint32_t *handle, int32_t timeout = 1000) {
        *handle = 0x01010000;
        error.clear();
        return d->Open(handle, W(address), timeout, &error);
    }

    // A TCP connection to the listener and the peer's side of it.
    uint32_t Connect(PeerSocket *peer, int32_t timeout = 1000) {
        uint32_t h = 0;
        EXPECT_EQ(Open(tcp.get(), listener.Address(), &h, timeout), 0) << platform::WideToAnsi(error);
        *peer = listener.Accept(2000);
        EXPECT_TRUE(peer->Valid());
        return h;
    }

    // Reads into a buffer of size bytes; *bytes gets the whole buffer.
    int32_t Read(uint32_t h, int32_t size, uint32_t flags, std::string *bytes, int32_t *count) {
        std::vector<uint8_t> buf(static_cast<size_t>(size) + 1, 0xEE);
        *count = size;
        error.clear();
        int32_t status = tcp->Read(h, buf.data(), count, flags, &error);
        bytes->assign(buf.begin(), buf.begin() + size);
        return status;
    }

    std::u16string Get(uint32_t h, const char16_t *name) {
        std::u16string v;
        EXPECT_EQ(tcp->ParamGet(h, name, &v, &error), 0);
        return v;
    }
};

TEST_F(IpDriverTest, TcpOpensOfOneAddressShareOneConnection) {
    uint32_t h1 = 0, h2 = 0;
    const std::string port = std::to_string(listener.Port());
    ASSERT_EQ(Open(tcp.get(), "  127.0.0.1 :  " + port + " ", &h1), 0);
    EXPECT_EQ(h1, 0x01010001u);
    PeerSocket peer = listener.Accept(2000);
    // A name resolves to the dotted address and so finds the same record.
    ASSERT_EQ(Open(tcp.get(), "localhost:" + port, &h2), 0) << platform::WideToAnsi(error);
    EXPECT_EQ(h2, h1);
    EXPECT_FALSE(listener.Accept(100).Valid());

    // The two users share the buffered bytes and the settings.
    ASSERT_EQ(tcp->ParamSet(h2, u" timeout ", u"300", &error), 0);
    EXPECT_EQ(Get(h1, u"TIMEOUT"), u"300");
    peer.Send("one\ntwo\n");
    std::string bytes;
    int32_t n;
    EXPECT_EQ(Read(h1, 16, 1, &bytes, &n), 2);
    EXPECT_EQ(bytes.substr(0, 3), "one");
    EXPECT_EQ(tcp->Close(h1, &error), 0);
    EXPECT_EQ(Read(h2, 16, 1, &bytes, &n), 2);
    EXPECT_EQ(bytes.substr(0, n), "two");

    peer.Close();
    EXPECT_EQ(tcp->Close(h2, &error), 3);
    EXPECT_FALSE(tcp->HasOpenDevices());
    error.clear();
    EXPECT_EQ(tcp->Close(h2, &error), -3);
    EXPECT_EQ(error, LoadText(kTextNotOpen));
    std::u16string v;
    EXPECT_EQ(tcp->ParamGet(0x01010000, u"TIMEOUT", &v, &error), -3);

    // A freed number is handed out again, lowest first.
    uint32_t h3 = 0;
    ASSERT_EQ(Open(tcp.get(), listener.Address(), &h3), 0);
    EXPECT_EQ(h3 & 0xFFFF, 1u);
}

TEST_F(IpDriverTest, OpenFailuresLeaveNothingOpen) {
    uint32_t h = 0;
    EXPECT_EQ(Open(tcp.get(), "127.0.0.1", &h), -16);
    EXPECT_EQ(error, LoadText(kTextBadIpAddress));
    EXPECT_EQ(Open(tcp.get(), "no-such-host.invalid:80", &h), -20);
    EXPECT_EQ(error, LoadText(kTextHostNotFound));

    const std::string closed = "127.0.0.1:" + std::to_string(test::ClosedPort());
    EXPECT_EQ(Open(tcp.get(), closed, &h, 0), -4);
    EXPECT_EQ(error.rfind(LoadText(kTextConnectFailed).substr(0, 20), 0), 0u);
    // A refusal ends a non-blocking connect at once, not at its time limit,
    // and is not mistaken for a connection.
    auto start = Clock::now();
    EXPECT_EQ(Open(tcp.get(), closed, &h, 3000), -4);
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(h, 0x01010000u);
    EXPECT_FALSE(tcp->HasOpenDevices());
}

TEST_F(IpDriverTest, ConnectGivesUpAtItsTimeLimit) {
    // A listener whose backlog is full never completes another handshake.
    TcpListener full(0);
    std::vector<PeerSocket> fillers;
    for (int i = 0; i < 4; ++i) fillers.push_back(test::ConnectLoopback(full.Port(), false));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    uint32_t h = 0;
    auto start = Clock::now();
    EXPECT_EQ(Open(tcp.get(), full.Address(), &h, 300), -4);
    long long ms = MsSince(start);
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 3000);
    EXPECT_EQ(error,
              FormatText(kTextConnectFailed, {SystemText(platform::SocketTimedOutError())}));
}

TEST_F(IpDriverTest, ReadEndsOnDelimiterFullBufferOrTimeOut) {
    PeerSocket peer;
    uint32_t h = Connect(&peer);
    std::string bytes;
    int32_t n;

    // The delimiter arrives after several receives and beyond 1024 bytes.
    std::thread sender([&] {
        peer.Send(std::string(1500, 'a'));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Send(std::string(600, 'b') + "\nrest");
    });
    EXPECT_EQ(Read(h, 4096, 1, &bytes, &n), 2);
    sender.join();
    ASSERT_EQ(n, 2100);
    EXPECT_EQ(bytes.substr(0, 2100), std::string(1500, 'a') + std::string(600, 'b'));
    EXPECT_EQ(bytes[2100], '\n');  // left in the buffer, not counted
    EXPECT_EQ(bytes[2101], '\0');

    // The rest has no delimiter: the time-out ends the read, without a text.
    ASSERT_EQ(tcp->ParamSet(h, u"TIMEOUT", u"200", &error), 0);
    auto start = Clock::now();
    EXPECT_EQ(Read(h, 100, 1, &bytes, &n), -6);
    EXPECT_GE(MsSince(start), 190);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(bytes.substr(0, 4), "rest");
    EXPECT_TRUE(error.empty());

    // A full buffer ends the read at once; the rest stays for the next one.
    peer.Send("0123456789AB");
    start = Clock::now();
    EXPECT_EQ(Read(h, 10, 1, &bytes, &n), 1);
    EXPECT_LT(MsSince(start), 150);
    EXPECT_EQ(bytes.substr(0, n), "0123456789");
    EXPECT_EQ(Read(h, 2, 0, &bytes, &n), 1);
    EXPECT_EQ(bytes, "AB");
    EXPECT_EQ(Read(h, 0, 1, &bytes, &n), 1);
    EXPECT_EQ(n, 0);
}

TEST_F(IpDriverTest, MultiByteDelimiterSplitBetweenPackets) {
    PeerSocket peer;
    uint32_t h = Connect(&peer);
    ASSERT_EQ(tcp->ParamSet(h, u"DELIMITER", u"\\0d\\0a", &error), 0);
    EXPECT_EQ(Get(h, u"DELIMITER"), u"\\0D\\0A");
    std::string bytes;
    int32_t n;

    std::thread sender([&] {
        peer.Send("abc\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Send("\ndef\r\r\nX");
    });
    EXPECT_EQ(Read(h, 64, 1 | 2, &bytes, &n), 2);
    sender.join();
    EXPECT_EQ(bytes.substr(0, n), "abc\r\n");

    // A broken partial match starts over without testing the breaking byte.
    ASSERT_EQ(tcp->ParamSet(h, u"TIMEOUT", u"200", &error), 0);
    EXPECT_EQ(Read(h, 64, 1, &bytes, &n), -6);
    EXPECT_EQ(bytes.substr(0, n), "def\r\r\nX");

    // The delimiter written with flag 2 goes out after the data.
    int32_t len = 2;
    EXPECT_EQ(tcp->Write(h, reinterpret_cast<const uint8_t *>("hi"), &len, 2, &error), 0);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(peer.Receive(4, 1000), "hi\r\n");
}

TEST_F(IpDriverTest, KeepDelimiterAndZeroEndFlags) {
    PeerSocket peer;
    uint32_t h = Connect(&peer);
    std::string bytes;
    int32_t n;
    peer.Send("AB\nC");
    EXPECT_EQ(Read(h, 10, 1 | 2, &bytes, &n), 2);
    EXPECT_EQ(bytes.substr(0, n), "AB\n");

    peer.Send("DE\n");
    EXPECT_EQ(Read(h, 10, 1 | 4, &bytes, &n), 2);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(bytes.substr(0, 5), std::string("CDE\0\0", 5));

    // Flag 4 keeps the last byte free: 4 bytes into 5.
    peer.Send("vwxyz");
    EXPECT_EQ(Read(h, 5, 4, &bytes, &n), 1);
    EXPECT_EQ(bytes, std::string("vwxy\0", 5));
    EXPECT_EQ(Read(h, 1, 4, &bytes, &n), 1);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(bytes, std::string(1, '\0'));
}

TEST_F(IpDriverTest, ParametersAndBufferCount) {
    PeerSocket peer;
    uint32_t h = Connect(&peer);
    EXPECT_EQ(Get(h, u"TIMEOUT"), u"1000");
    EXPECT_EQ(Get(h, u"delimiter"), u"\\0A");

    std::string bytes;
    int32_t n;
    peer.Send("AB\nxyz");
    EXPECT_EQ(Read(h, 16, 1, &bytes, &n), 2);
    peer.Send("12345");
    // Left over plus waiting at the socket, whichever holds them.
    auto start = Clock::now();
    while (Get(h, u"BUFFER") != u"8" && MsSince(start) < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(Get(h, u"BUFFER"), u"8");
    EXPECT_EQ(Read(h, 8, 0, &bytes, &n), 1);
    EXPECT_EQ(bytes, "xyz12345");

    EXPECT_EQ(tcp->ParamSet(h, u"BUFFER", u"1", &error), -11);
    EXPECT_EQ(error, FormatText(kTextParamUnsupported, {u"BUFFER", u"127.0.0.1"}));
    std::u16string v;
    EXPECT_EQ(tcp->ParamGet(h, u" baudrate", &v, &error), -11);
    EXPECT_EQ(error, FormatText(kTextParamUnsupported, {u"BAUDRATE", u"127.0.0.1"}));
}

TEST_F(IpDriverTest, PeerCloseOrResetEndsTheReadAtOnce) {
    std::string bytes;
    int32_t n;
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "close");
        PeerSocket peer;
        uint32_t h = Connect(&peer, reset ? 1000 : 0);  // both socket modes
        ASSERT_EQ(tcp->ParamSet(h, u"TIMEOUT", u"5000", &error), 0);
        peer.Send("par");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        if (reset) {
            // Received and taken before the reset arrives.
            EXPECT_EQ(Read(h, 3, 0, &bytes, &n), 1);
            peer.Reset();
        } else {
            peer.Close();
        }
        for (int round = 0; round < 2; ++round) {
            auto start = Clock::now();
            EXPECT_EQ(Read(h, 100, 1, &bytes, &n), -6);
            EXPECT_LT(MsSince(start), 1000);
            EXPECT_EQ(error, ClosedText());
            EXPECT_EQ(n, reset || round ? 0 : 3);
        }
        // Writing to the dead connection fails, and the process lives on.
        int32_t len = 4;
        int32_t status = 0;
        for (int i = 0; i < 3 && status == 0; ++i)
            status = tcp->Write(h, reinterpret_cast<const uint8_t *>("ping"), &len, 0, &error);
        EXPECT_EQ(status, -6);
        EXPECT_EQ(tcp->Close(h, &error), 3);
    }
}

TEST_F(IpDriverTest, LastCloseEndsTheStreamWithinOneSecond) {
    // The peer never ends its side; the close must not wait for it longer
    // than a second, whatever the time-out says.
    for (int32_t openTimeout : {0, 1000}) {
        SCOPED_TRACE(openTimeout);
        PeerSocket peer;
        uint32_t h = Connect(&peer, openTimeout);
        ASSERT_EQ(tcp->ParamSet(h, u"TIMEOUT", u"-1", &error), 0);
        peer.Send("unread");
        auto start = Clock::now();
        EXPECT_EQ(tcp->Close(h, &error), 3);
        EXPECT_LT(MsSince(start), 1500);
        EXPECT_TRUE(peer.WaitForEnd(1000));
    }
    auto udp = MakeDriver<CXVR_UDP>(u"UDP", 2);
    UdpPeer quiet;
    uint32_t h = 0;
    ASSERT_EQ(Open(udp.get(), quiet.Address(), &h, 0), 0);
    auto start = Clock::now();
    EXPECT_EQ(udp->Close(h, &error), 3);
    EXPECT_LT(MsSince(start), 500);
}

TEST_F(IpDriverTest, LargeWritesToASlowReader) {
    std::vector<uint8_t> data(8 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 12));

    // A reader that takes nothing: the write stops at the time-out and tells
    // how much went out.
    PeerSocket stuck;
    uint32_t h = Connect(&stuck, 1000);
    stuck.SetReceiveBuffer(4096);
    ASSERT_EQ(tcp->ParamSet(h, u"TIMEOUT", u"200", &error), 0);
    int32_t len = static_cast<int32_t>(data.size());
    auto start = Clock::now();
    EXPECT_EQ(tcp->Write(h, data.data(), &len, 0, &error), -6);
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_GT(len, 0);
    EXPECT_LT(len, static_cast<int32_t>(data.size()));
    EXPECT_EQ(error.rfind(LoadText(kTextSendFailed).substr(0, 20), 0), 0u);
    EXPECT_EQ(tcp->Close(h, &error), 3);

    // A reader that takes its time: everything arrives, in order, for both
    // socket modes.
    for (int32_t openTimeout : {1000, 0}) {
        SCOPED_TRACE(openTimeout);
        PeerSocket peer;
        h = Connect(&peer, openTimeout);
        ASSERT_EQ(tcp->ParamSet(h, u"TIMEOUT", u"20000", &error), 0);
        std::string got;
        std::thread reader([&] {
            while (got.size() < data.size()) {
                std::string part = peer.Receive(256 << 10, 5000);
                if (part.empty()) break;
                got += part;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        len = static_cast<int32_t>(data.size());
        EXPECT_EQ(tcp->Write(h, data.data(), &len, 0, &error), 0);
        EXPECT_EQ(len, static_cast<int32_t>(data.size()));
        reader.join();
        EXPECT_TRUE(got.size() == data.size() && std::memcmp(got.data(), data.data(), got.size()) == 0);
        peer.Close();
        EXPECT_EQ(tcp->Close(h, &error), 3);
    }
}

TEST_F(IpDriverTest, NegativeLengthsTouchNothing) {
    PeerSocket peer;
    uint32_t h = Connect(&peer);
    peer.Send("abc");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    uint8_t buf[8];
    std::memset(buf, 0x55, sizeof buf);
    int32_t n = -1;
    EXPECT_EQ(tcp->Read(h, buf, &n, 1, &error), -6);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(buf[0], 0x55);
    n = -5;
    EXPECT_EQ(tcp->Write(h, buf, &n, 2, &error), -6);
    EXPECT_EQ(n, -5);
    EXPECT_EQ(Get(h, u"BUFFER"), u"3");
    EXPECT_EQ(peer.Receive(1, 100), "");
}

TEST_F(IpDriverTest, UdpDatagramsArriveWholeAndOpensDoNotShare) {
    auto udp = MakeDriver<CXVR_UDP>(u"UDP", 2);
    UdpPeer peer;
    uint32_t h1 = 0, h2 = 0;
    ASSERT_EQ(Open(udp.get(), peer.Address(), &h1), 0);
    ASSERT_EQ(Open(udp.get(), peer.Address(), &h2), 0);
    EXPECT_NE(h1, h2);
    EXPECT_EQ(udp->Close(h2, &error), 3);

    int32_t len = 3;
    EXPECT_EQ(udp->Write(h1, reinterpret_cast<const uint8_t *>("abc"), &len, 2, &error), 0);
    EXPECT_EQ(peer.ReceiveFrom(1000), "abc\n");

    for (size_t size : {5000u, 65507u}) {
        SCOPED_TRACE(size);
        std::string datagram(size - 1, 'x');
        for (size_t i = 0; i < datagram.size(); ++i) datagram[i] = static_cast<char>('a' + i % 26);
        ASSERT_TRUE(peer.SendBack(datagram + "\n"));
        std::vector<uint8_t> buf(70000);
        int32_t n = static_cast<int32_t>(buf.size());
        EXPECT_EQ(udp->Read(h1, buf.data(), &n, 1, &error), 2) << platform::WideToAnsi(error);
        ASSERT_EQ(n, static_cast<int32_t>(size - 1));
        EXPECT_EQ(std::memcmp(buf.data(), datagram.data(), datagram.size()), 0);
    }
    // A small read takes a big datagram in parts.
    ASSERT_TRUE(peer.SendBack(std::string(3000, 'q')));
    uint8_t small[1000];
    int32_t n = sizeof small;
    EXPECT_EQ(udp->Read(h1, small, &n, 0, &error), 1);
    std::u16string v;
    EXPECT_EQ(udp->ParamGet(h1, u"BUFFER", &v, &error), 0);
    EXPECT_EQ(v, u"2000");
}

#ifndef _WIN32
TEST_F(IpDriverTest, NoDescriptorsLeakAcrossOpenCloseAndDestruction) {
    const int before = xvr::test::OpenDescriptorCount();
    for (int i = 0; i < 1000; ++i) {
        auto d = MakeDriver<CXVR_TCP>(u"TCP/IP", 1);
        uint32_t h = 0;
        ASSERT_EQ(Open(d.get(), listener.Address(), &h), 0);
        PeerSocket peer = listener.Accept(2000);
        if (i % 2 == 0) {
            EXPECT_EQ(d->Close(h, &error), 3);
        }
        // Odd rounds: the driver goes with the connection still open.
    }
    EXPECT_EQ(xvr::test::OpenDescriptorCount(), before);
}
#endif

}  // namespace
