// The network driver against loopback peers started by each test.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "drivers/ip/ip_driver.h"
#include "base/texts.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "support/ip_peer.h"

namespace {

using namespace xvr;
using test::PeerSocket;
using test::TcpListener;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class IpDriverTest : public ::testing::Test {
protected:
    CXVR_TCP tcp;
    CXVR_UDP udp;
    CXVR_IP *d = &tcp;  // the driver the helpers use
    TcpListener listener;
    std::u16string error;
    std::string buffer;  // the whole buffer of the last Read
    int32_t n = 0;       // the count of the last Read or Write

    int32_t Open(const std::string &address, uint32_t *h, int32_t timeout = 1000) {
        *h = 0x01010000;
        error.clear();
        return d->Open(h, std::u16string(address.begin(), address.end()), timeout, &error);
    }
    // Opens the listener's address and sets TIMEOUT; the peer's side.
    PeerSocket Connect(uint32_t *h, int32_t openTimeout = 1000, const char16_t *timeout = u"1000") {
        EXPECT_EQ(Open(listener.Address(), h, openTimeout), kStatusOk)
            << platform::WideToAnsi(error);
        EXPECT_EQ(d->ParamSet(*h, u"TIMEOUT", timeout, &error), kStatusOk);
        return listener.Accept(2000);
    }
    // Reads into size bytes followed by a guard byte that must stay untouched.
    int32_t Read(uint32_t h, int32_t size, uint32_t flags) {
        buffer.assign(static_cast<size_t>(size) + 1, '\xEE');
        n = size;
        error.clear();
        int32_t status = d->Read(h, reinterpret_cast<uint8_t *>(&buffer[0]), &n, flags, &error);
        EXPECT_EQ(buffer.back(), '\xEE');
        buffer.pop_back();
        return status;
    }
    int32_t Write(uint32_t h, const std::string &data, uint32_t flags) {
        n = static_cast<int32_t>(data.size());
        return d->Write(h, reinterpret_cast<const uint8_t *>(data.data()), &n, flags, &error);
    }
    std::u16string Get(uint32_t h, const char16_t *name) {
        std::u16string v;
        EXPECT_EQ(d->ParamGet(h, name, &v, &error), kStatusOk);
        return v;
    }
};

TEST_F(IpDriverTest, TcpOpensOfOneAddressShareOneConnection) {
    uint32_t h1, h2;
    const std::string port = std::to_string(listener.Port());
    ASSERT_EQ(Open("  127.0.0.1 :  " + port + " ", &h1), kStatusOk);
    PeerSocket peer = listener.Accept(2000);
    // A name resolves to the dotted address and so finds the same record.
    ASSERT_EQ(Open("localhost:" + port, &h2), kStatusOk) << platform::WideToAnsi(error);
    EXPECT_EQ(h2, h1);
    EXPECT_FALSE(listener.Accept(100).Valid());
    // The connection outlives its first user.
    peer.Send("one\n");
    EXPECT_EQ(tcp.Close(h1, &error), kStatusOk);
    EXPECT_EQ(Read(h2, 16, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(buffer.substr(0, n), "one");
    peer.Close();
    EXPECT_EQ(tcp.Close(h2, &error), kStatusReleased);
    EXPECT_FALSE(tcp.HasOpenDevices());
}

TEST_F(IpDriverTest, FailedOpensSayWhyInTimeAndLeaveNothingOpen) {
    // A listener whose backlog is full never completes another handshake.
    TcpListener full(0);
    std::vector<PeerSocket> fillers;
    for (int i = 0; i < 4; ++i) fillers.push_back(test::ConnectLoopback(full.Port(), false));
    Pause(100);
    const std::string closed = "127.0.0.1:" + std::to_string(TcpListener().Port());
    // Each failure says why and leaves the handle alone; returns the time taken.
    auto fails = [&](const std::string &address, int32_t timeout, int32_t status,
                     std::u16string text) {
        SCOPED_TRACE(address + " in " + std::to_string(timeout) + " ms");
        uint32_t h;
        auto start = Clock::now();
        EXPECT_EQ(Open(address, &h, timeout), status);
        EXPECT_EQ(error.rfind(text, 0), 0u) << platform::WideToAnsi(error);
        EXPECT_EQ(h, 0x01010000u);
        return MsSince(start);
    };
    // First, while the backlog is surely still full.
    const std::u16string timedOut = SystemText(platform::SocketTimedOutError());
    const long long ms =
        fails(full.Address(), 300, kStatusOpenFailed, FormatText(kTextConnectFailed, {timedOut}));
    EXPECT_TRUE(ms >= 250 && ms < 3000) << ms;
    fails("127.0.0.1", 1000, kStatusBadAddress, LoadText(kTextBadIpAddress));
    fails("no-such-host.invalid:80", 1000, kStatusNotFound, LoadText(kTextHostNotFound));
    const std::u16string refused = FormatText(kTextConnectFailed, {u""});
    fails(closed, 0, kStatusOpenFailed, refused);
    // A refusal ends a non-blocking connect at once, not at its time limit,
    // and is not mistaken for a connection.
    EXPECT_LT(fails(closed, 3000, kStatusOpenFailed, refused), 2000);
    EXPECT_FALSE(tcp.HasOpenDevices());
}

TEST_F(IpDriverTest, ReadsEndOnDelimiterFullBufferOrTimeOut) {
    uint32_t h;
    PeerSocket peer = Connect(&h, 1000, u"200");
    // Sends now, reads (later is sent 30 ms into the read), and finds the
    // status, the count and the buffer (followed by zero bytes up to size).
    struct Step {
        std::string now, later;
        int32_t size;
        uint32_t flags;
        int32_t status, count;
        std::string buffer;
        const char16_t *delimiter = nullptr;  // set before the step
    };
    const uint32_t toDelimiter = kReadStopAtDelimiter;
    const std::string a(1500, 'a'), b(600, 'b');
    const Step steps[] = {
        // The delimiter arrives after several receives and beyond 1024 bytes;
        // it stays in the buffer, not counted.
        {a, b + "\nrest", 4096, toDelimiter, kStatusDelimiter, 2100, a + b + "\n"},
        {"", "", 100, toDelimiter, kStatusTransfer, 4, "rest"},
        // A full buffer ends the read; the rest stays for the next one.
        {"0123456789AB", "", 10, toDelimiter, kStatusBufferFull, 10, "0123456789"},
        {"", "", 2, 0, kStatusBufferFull, 2, "AB"},
        {"", "", 0, toDelimiter, kStatusBufferFull, 0, ""},
        // Keeping the delimiter counts it; a zero byte at the end keeps the
        // last byte of the buffer free.
        {"AB\nC", "", 10, toDelimiter | kReadKeepDelimiter, kStatusDelimiter, 3, "AB\n"},
        {"DE\n", "", 10, toDelimiter | kReadZeroTerminate, kStatusDelimiter, 3, "CDE"},
        {"vwxyz", "", 5, kReadZeroTerminate, kStatusBufferFull, 4, "vwxy"},
        {"", "", 1, kReadZeroTerminate, kStatusBufferFull, 0, ""},
        // A two-byte delimiter split between packets.
        {"abc\r", "\ndef\r\r\nX", 64, toDelimiter | kReadKeepDelimiter, kStatusDelimiter, 6,
         "zabc\r\n", u"\\0d\\0a"},
        // A byte that breaks a partial match may begin the next one: CR CR LF
        // ends on its last two bytes.
        {"", "", 64, toDelimiter, kStatusDelimiter, 4, "def\r\r\n"},
        {"", "", 64, toDelimiter, kStatusTransfer, 1, "X"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.buffer.substr(0, 16));
        if (s.delimiter) tcp.ParamSet(h, u"DELIMITER", s.delimiter, &error);
        peer.Send(s.now);
        std::thread later([&] {
            Pause(30);
            peer.Send(s.later);
        });
        auto start = Clock::now();
        EXPECT_EQ(Read(h, s.size, s.flags), s.status);
        const long long ms = MsSince(start);
        later.join();
        EXPECT_EQ(n, s.count);
        EXPECT_EQ(buffer, s.buffer + std::string(s.size - s.buffer.size(), '\0'));
        // Only the time-out waits, as long as it says, and leaves no text.
        EXPECT_TRUE(s.status == kStatusTransfer ? ms >= 190 && ms < 450 : ms < 190) << ms;
        EXPECT_TRUE(error.empty());
    }
}

// In both socket modes: a peer that closes or resets ends the read at once;
// one that never ends its side holds the last close up for a second at most.
TEST_F(IpDriverTest, PeerEndsTheReadAndLastCloseIsBounded) {
    for (int32_t openTimeout : {0, 1000}) {
        for (bool reset : {false, true}) {
            SCOPED_TRACE(std::to_string(openTimeout) + (reset ? " reset" : " close"));
            uint32_t h;
            PeerSocket peer = Connect(&h, openTimeout, u"5000");
            peer.Send("par");
            Pause(30);
            if (reset) {
                EXPECT_EQ(Read(h, 3, 0), kStatusBufferFull);  // a reset may drop what is unread
            }
            peer.Close(reset);
            for (int round = 0; round < 2; ++round) {
                auto start = Clock::now();
                EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusTransfer);
                EXPECT_LT(MsSince(start), 1000);
                // A clean close is named as such, never as a reset; a reset
                // may be reported once, every time, or (wine) as an end of
                // stream.
                const std::u16string closed = FormatText(
                    kTextReceiveFailed, {FormatText(kTextConnectionLost, {u"127.0.0.1"})});
                const std::u16string resetText =
                    FormatText(kTextReceiveFailed, {SystemText(platform::SocketResetError())});
                if (!reset)
                    EXPECT_EQ(error, closed);
                else
                    EXPECT_TRUE(error == closed || error == resetText);
                EXPECT_EQ(n, reset || round ? 0 : 3);
            }
            // Writing to the dead connection fails, and the process lives on.
            int32_t status = kStatusOk;
            for (int i = 0; i < 3 && status == kStatusOk; ++i) status = Write(h, "ping", 0);
            EXPECT_EQ(status, kStatusTransfer);
            EXPECT_EQ(tcp.Close(h, &error), kStatusReleased);
        }
        uint32_t h;
        PeerSocket peer = Connect(&h, openTimeout, u"-1");
        peer.Send("unread");
        auto start = Clock::now();
        EXPECT_EQ(tcp.Close(h, &error), kStatusReleased);
        EXPECT_LT(MsSince(start), 1500);
        EXPECT_TRUE(peer.WaitForEnd(1000));
    }
}

TEST_F(IpDriverTest, LargeWritesToAStuckOrSlowReader) {
    std::string data(8 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 12));
    const int32_t size = static_cast<int32_t>(data.size());
    // A reader that takes nothing: the write stops at the time-out and tells
    // how much went out.  A slow reader gets everything, in order, in both
    // socket modes.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const bool stuck = round == 0;
        uint32_t h;
        PeerSocket peer = Connect(&h, round == 2 ? 0 : 1000, stuck ? u"200" : u"20000");
        if (stuck) peer.SetReceiveBuffer(4096);
        std::string got;
        std::thread reader([&] {
            while (!stuck && got.size() < data.size()) {
                std::string part = peer.Receive(256 << 10, 5000);
                if (part.empty()) break;
                got += part;
                Pause(2);
            }
        });
        auto start = Clock::now();
        EXPECT_EQ(Write(h, data, 0), stuck ? kStatusTransfer : kStatusOk);
        reader.join();
        if (stuck) {
            EXPECT_LT(MsSince(start), 2000);
            EXPECT_TRUE(n > 0 && n < size) << n;
            EXPECT_EQ(error.rfind(FormatText(kTextSendFailed, {u""}), 0), 0u);
        } else {
            EXPECT_EQ(n, size);
            EXPECT_TRUE(got == data);
        }
        peer.Close();
        EXPECT_EQ(tcp.Close(h, &error), kStatusReleased);
    }
}

// BUFFER counts the bytes left over plus those waiting at the socket; reads
// and writes of negative length touch neither them nor the host's buffer.
TEST_F(IpDriverTest, BufferCountAndNegativeLengths) {
    uint32_t h;
    PeerSocket peer = Connect(&h);
    peer.Send("AB\nxyz");
    EXPECT_EQ(Read(h, 16, kReadStopAtDelimiter), kStatusDelimiter);
    peer.Send("12345");
    auto start = Clock::now();
    while (Get(h, u"BUFFER") != u"8" && MsSince(start) < 2000) Pause(5);
    uint8_t buf[8] = {0x55};
    n = -1;
    EXPECT_EQ(tcp.Read(h, buf, &n, kReadStopAtDelimiter, &error), kStatusTransfer);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(buf[0], 0x55);
    n = -5;
    EXPECT_EQ(tcp.Write(h, buf, &n, kWriteAppendDelimiter, &error), kStatusTransfer);
    EXPECT_EQ(n, -5);
    EXPECT_EQ(Get(h, u"BUFFER"), u"8");
    EXPECT_EQ(Read(h, 8, 0), kStatusBufferFull);
    EXPECT_EQ(buffer, "xyz12345");
    EXPECT_EQ(peer.Receive(1, 100), "");
}

TEST_F(IpDriverTest, ClearDropsWhatWaitsAndOtherControlIsUnknown) {
    uint32_t h;
    PeerSocket peer = Connect(&h);
    peer.Send("stale 1\nstale 2\n");
    EXPECT_EQ(Read(h, 3, 0), kStatusBufferFull);  // the rest waits in the library
    peer.Send(std::string(100000, 'x'));          // and in the system's queue
    auto start = Clock::now();
    while (Get(h, u"BUFFER") != u"100013" && MsSince(start) < 2000) Pause(5);
    EXPECT_EQ(d->ParamSet(h, u" clear ", u"", &error), kStatusOk);
    EXPECT_EQ(Get(h, u"BUFFER"), u"0");
    peer.Send("fresh\n");
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(n)), "fresh");
    // A peer that closed: the clear succeeds, the next read reports the end.
    peer.Send("last\n");
    peer.Close();
    Pause(50);
    EXPECT_EQ(d->ParamSet(h, u"CLEAR", u"1", &error), kStatusOk);
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusTransfer);

    // What a socket cannot honour is refused, never taken silently.
    std::u16string value;
    for (const char16_t *name : {u"TRIGGER", u"LOCK", u"SRQ", u"REMOTE", u"LOCK_TIMEOUT"}) {
        EXPECT_EQ(d->ParamSet(h, name, u"1", &error), kStatusUnknownParam);
        EXPECT_EQ(error, FormatText(kTextParamUnsupported, {name, u"127.0.0.1"}));
    }
    for (const char16_t *name : {u"STB", u"SRQ", u"LOCK", u"CLEAR"})
        EXPECT_EQ(d->ParamGet(h, name, &value, &error), kStatusUnknownParam);

    d = &udp;
    test::UdpPeer datagrams;
    uint32_t u;
    ASSERT_EQ(Open(datagrams.Address(), &u), kStatusOk);
    ASSERT_EQ(Write(u, "hello", 0), kStatusOk);
    ASSERT_EQ(datagrams.ReceiveFrom(1000), "hello");
    ASSERT_TRUE(datagrams.Send("old 1\n"));
    ASSERT_TRUE(datagrams.Send("old 2\n"));
    start = Clock::now();
    while (Get(u, u"BUFFER") == u"0" && MsSince(start) < 2000) Pause(5);
    Pause(20);
    EXPECT_EQ(d->ParamSet(u, u"CLEAR", u"", &error), kStatusOk);
    EXPECT_EQ(Get(u, u"BUFFER"), u"0");
    ASSERT_TRUE(datagrams.Send("new\n"));
    EXPECT_EQ(Read(u, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(n)), "new");
}

TEST_F(IpDriverTest, UdpDatagramsArriveWholeAndOpensDoNotShare) {
    d = &udp;
    test::UdpPeer peer;
    uint32_t h, h2;
    ASSERT_EQ(Open(peer.Address(), &h), kStatusOk);
    ASSERT_EQ(Open(peer.Address(), &h2, 0), kStatusOk);
    EXPECT_NE(h, h2);
    // The last close of a blocking datagram socket does not wait either.
    auto start = Clock::now();
    EXPECT_EQ(udp.Close(h2, &error), kStatusReleased);
    EXPECT_LT(MsSince(start), 500);

    EXPECT_EQ(Write(h, "abc", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(peer.ReceiveFrom(1000), "abc\n");
    // A small read takes a datagram in parts; the largest datagram still
    // arrives whole behind the rest.
    ASSERT_TRUE(peer.Send(std::string(3000, 'q')));
    EXPECT_EQ(Read(h, 1000, 0), kStatusBufferFull);
    EXPECT_EQ(Get(h, u"BUFFER"), u"2000");
    std::string datagram(65506, '\0');
    for (size_t i = 0; i < datagram.size(); ++i) datagram[i] = static_cast<char>('a' + i % 26);
    ASSERT_TRUE(peer.Send(datagram + "\n"));
    EXPECT_EQ(Read(h, 70000, kReadStopAtDelimiter), kStatusDelimiter)
        << platform::WideToAnsi(error);
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(n)), std::string(2000, 'q') + datagram);
}

}  // namespace
