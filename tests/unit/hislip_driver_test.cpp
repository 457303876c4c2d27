// The HiSLIP driver against a scripted server that misbehaves: every fault
// ends in a clear status within the time-out, nothing is allocated for what
// a peer announces, and the record can always be closed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <functional>
#include <optional>
#include <thread>

#include "platform/deadline.h"
#include "base/status.h"
#include "drivers/hislip/hislip_driver.h"
#include "drivers/hislip/hislip_message.h"
#include "support/ip_peer.h"

namespace {

namespace hs = xvr::hislip;
using xvr::test::PeerSocket;

struct Received {
    hs::Header header;
    std::string payload;
    bool ok = false;
};

Received ReadMessage(PeerSocket &s, int ms = 3000) {
    Received r;
    const std::string raw = s.Receive(hs::kHeaderSize, ms);
    if (raw.size() != hs::kHeaderSize) return r;
    const auto *p = reinterpret_cast<const uint8_t *>(raw.data());
    r.header = {p[2], p[3], hs::Load32(p + 4), hs::Load64(p + 8)};
    r.payload = s.Receive(static_cast<size_t>(r.header.length), ms);
    r.ok = r.payload.size() == r.header.length;
    return r;
}

std::string Header(uint8_t type, uint8_t control, uint32_t parameter, uint64_t length) {
    std::string raw(hs::kHeaderSize, '\0');
    hs::WriteHeader({type, control, parameter, length}, reinterpret_cast<uint8_t *>(&raw[0]));
    return raw;
}

// A server whose every step the test writes; Handshake plays the standard
// opening up to the exchange of maximum message sizes.
class HislipScript : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_server.joinable()) m_server.join();
        m_driver.reset();
    }
    void Serve(std::function<void()> script) { m_server = std::thread(std::move(script)); }
    void Handshake() {
        m_sync.emplace(m_listener.Accept(3000));
        ASSERT_TRUE(ReadMessage(*m_sync).ok);
        m_sync->Send(hs::InitializeResponse(false, hs::kVersion, 7));
        m_async.emplace(m_listener.Accept(3000));
        ASSERT_EQ(ReadMessage(*m_async).header.type, hs::kAsyncInitialize);
        m_async->Send(hs::AsyncInitializeResponse("FK"));
        ASSERT_EQ(ReadMessage(*m_async).header.type, hs::kAsyncMaximumMessageSize);
        m_async->Send(hs::MaximumMessageSize(hs::kAsyncMaximumMessageSizeResponse, 4096));
    }
    int32_t Open(int32_t timeoutMs = 2000) {
        m_handle = 0x01010000;
        m_error.clear();
        const std::string port = std::to_string(m_listener.Port());
        return m_driver->Open(&m_handle,
                              u"127.0.0.1:hislip0," + std::u16string(port.begin(), port.end()),
                              timeoutMs, &m_error);
    }
    int32_t Write(const std::string &text) {
        int32_t n = static_cast<int32_t>(text.size());
        m_error.clear();
        return m_driver->Write(m_handle, reinterpret_cast<const uint8_t *>(text.data()), &n, 0,
                               &m_error);
    }
    int32_t Read(std::string *into, int32_t size = 64) {
        std::string buffer(static_cast<size_t>(size), '\0');
        m_error.clear();
        const int32_t status =
            m_driver->Read(m_handle, reinterpret_cast<uint8_t *>(&buffer[0]), &size, 0, &m_error);
        into->assign(buffer, 0, static_cast<size_t>(size));
        return status;
    }
    int32_t Get(const char16_t *name, std::u16string *value) {
        m_error.clear();
        return m_driver->ParamGet(m_handle, name, value, &m_error);
    }
    bool ErrorHas(const char16_t *part) const { return m_error.find(part) != std::u16string::npos; }

    xvr::test::TcpListener m_listener;
    std::optional<PeerSocket> m_sync, m_async;
    std::unique_ptr<xvr::CXVR_HiSLIP> m_driver = std::make_unique<xvr::CXVR_HiSLIP>();
    uint32_t m_handle = 0;
    std::u16string m_error;
    std::thread m_server;
};

TEST_F(HislipScript, OpeningFailsClearlyAndInTime) {
    // A fatal error instead of the answer: its code and text.
    Serve([&] {
        PeerSocket s = m_listener.Accept(3000);
        ReadMessage(s);
        s.Send(hs::Message(hs::kFatalError, hs::kFatalTooManyClients, 0, "busy\x01"));
        s.WaitForEnd(3000);
    });
    EXPECT_EQ(Open(), xvr::kStatusRefused);
    EXPECT_TRUE(
        ErrorHas(u"FatalError 4 (Server refused connection due to maximum number of clients "
                 u"exceeded): busy?"))
        << std::string(m_error.begin(), m_error.end());
    m_server.join();

    // Data before the handshake: a protocol fault, the server is told.
    Serve([&] {
        PeerSocket s = m_listener.Accept(3000);
        ReadMessage(s);
        s.Send(hs::Message(hs::kDataEnd, 0, hs::kFirstMessageId, "early\n"));
        EXPECT_EQ(ReadMessage(s).header.type, hs::kFatalError);
    });
    EXPECT_EQ(Open(), xvr::kStatusRefused);
    EXPECT_TRUE(ErrorHas(u"protocol fault")) << std::string(m_error.begin(), m_error.end());
    m_server.join();

    // Silence (a wrong sub-address on some servers): bounded by the open's time-out.
    Serve([&] {
        PeerSocket s = m_listener.Accept(3000);
        s.WaitForEnd(3000);
    });
    const xvr::Deadline limit = xvr::Deadline::In(0);
    EXPECT_EQ(Open(300), xvr::kStatusOpenFailed);
    EXPECT_LT(limit.Elapsed(), 1500u);
    EXPECT_FALSE(m_error.empty());
}

TEST_F(HislipScript, ErrorsMessageIdsAndFatalErrorsDuringReads) {
    Serve([&] {
        Handshake();
        Received q = ReadMessage(*m_sync);
        EXPECT_EQ(q.header.type, hs::kDataEnd);
        EXPECT_EQ(q.header.parameter, hs::kFirstMessageId);
        // An error: the session goes on.
        m_sync->Send(hs::Message(hs::kError, hs::kErrorTooLarge, 0, "too big"));
        q = ReadMessage(*m_sync);
        EXPECT_EQ(q.header.parameter, hs::kFirstMessageId + 2);
        // An answer to an older message is not this one's.
        m_sync->Send(hs::Message(hs::kDataEnd, 0, hs::kFirstMessageId, "stale\n") +
                     hs::Message(hs::kData, 0, hs::kFirstMessageId + 2, "fre") +
                     hs::Message(hs::kDataEnd, 0, hs::kFirstMessageId + 2, "sh\n"));
        ReadMessage(*m_sync);
        m_sync->Send(hs::Message(hs::kFatalError, 200, 0, "device on fire"));
        m_sync->WaitForEnd(3000);
    });
    ASSERT_EQ(Open(), xvr::kStatusOk);
    std::string answer;
    ASSERT_EQ(Write("A?"), xvr::kStatusOk);
    EXPECT_EQ(Read(&answer), xvr::kStatusRefused);
    EXPECT_TRUE(ErrorHas(u"Error 4 (Message too large): too big"));
    ASSERT_EQ(Write("B?"), xvr::kStatusOk);
    EXPECT_EQ(Read(&answer), xvr::kStatusDelimiter);
    EXPECT_EQ(answer, "fresh\n");
    ASSERT_EQ(Write("C?"), xvr::kStatusOk);
    EXPECT_EQ(Read(&answer), xvr::kStatusRefused);
    EXPECT_TRUE(ErrorHas(u"device on fire"));
    EXPECT_EQ(Read(&answer), xvr::kStatusConnectionLost);
    EXPECT_EQ(Write("D?"), xvr::kStatusConnectionLost);
    EXPECT_EQ(m_driver->Close(m_handle, &m_error), xvr::kStatusReleased);
}

TEST_F(HislipScript, UnknownTypesAndHugeLengthsAreRefusedWithoutAllocating) {
    Serve([&] {
        Handshake();
        ReadMessage(*m_sync);
        // A payload near 2^64: the client streams it into the host's buffer.
        m_sync->Send(Header(hs::kDataEnd, 0, hs::kFirstMessageId, UINT64_MAX - 3) + "0123456789");
        ReadMessage(*m_sync, 5000);  // the client's FatalError after the next header
    });
    ASSERT_EQ(Open(), xvr::kStatusOk);
    EXPECT_EQ(m_driver->ParamSet(m_handle, u"TIMEOUT", u"300", &m_error), xvr::kStatusOk);
    std::string answer;
    ASSERT_EQ(Write("HUGE?"), xvr::kStatusOk);
    const xvr::Deadline limit = xvr::Deadline::In(0);
    EXPECT_EQ(Read(&answer), xvr::kStatusTransfer);
    EXPECT_LT(limit.Elapsed(), 2000u);
    EXPECT_EQ(answer, "0123456789");
    EXPECT_EQ(m_driver->Close(m_handle, &m_error), xvr::kStatusReleased);
    m_server.join();

    // An unknown type and an error text longer than any cap.
    for (const std::string &bad :
         {Header(200, 0, 0, 0), Header(hs::kError, 0, 0, uint64_t{1} << 63)}) {
        m_driver = std::make_unique<xvr::CXVR_HiSLIP>();
        Serve([&] {
            Handshake();
            ReadMessage(*m_sync);
            m_sync->Send(bad);
            EXPECT_EQ(ReadMessage(*m_sync).header.type, hs::kFatalError);
        });
        ASSERT_EQ(Open(), xvr::kStatusOk);
        ASSERT_EQ(Write("Q?"), xvr::kStatusOk);
        EXPECT_EQ(Read(&answer), xvr::kStatusRefused);
        EXPECT_TRUE(ErrorHas(u"protocol fault"));
        EXPECT_EQ(Read(&answer), xvr::kStatusConnectionLost);
        EXPECT_EQ(m_driver->Close(m_handle, &m_error), xvr::kStatusReleased);
        m_server.join();
    }
}

TEST_F(HislipScript, LateAnswersAndOneChannelClosed) {
    Serve([&] {
        Handshake();
        // The first status query is answered after the client gave up: that
        // answer is dropped, the second query gets its own.
        EXPECT_EQ(ReadMessage(*m_async).header.type, hs::kAsyncStatusQuery);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        m_async->Send(hs::Message(hs::kAsyncStatusResponse, 0x11, 0));
        EXPECT_EQ(ReadMessage(*m_async).header.type, hs::kAsyncStatusQuery);
        m_async->Send(hs::Message(hs::kAsyncServiceRequest, 0x41, 0) +
                      hs::Message(hs::kAsyncStatusResponse, 0x22, 0));
        // The asynchronous channel goes, the synchronous one stays.
        EXPECT_EQ(ReadMessage(*m_async).header.type, hs::kAsyncStatusQuery);
        m_async->Close(true);
        m_sync->WaitForEnd(3000);
    });
    ASSERT_EQ(Open(), xvr::kStatusOk);
    EXPECT_EQ(m_driver->ParamSet(m_handle, u"TIMEOUT", u"200", &m_error), xvr::kStatusOk);
    EXPECT_EQ(m_driver->ParamSet(m_handle, u"SRQ", u"ENABLE", &m_error), xvr::kStatusOk);
    std::u16string value;
    EXPECT_EQ(Get(u"STB", &value), xvr::kStatusTransfer);
    EXPECT_TRUE(m_error.empty());
    EXPECT_EQ(m_driver->ParamSet(m_handle, u"TIMEOUT", u"2000", &m_error), xvr::kStatusOk);
    EXPECT_EQ(Get(u"STB", &value), xvr::kStatusOk);
    EXPECT_EQ(value, u"34");
    // The request that came meanwhile was kept.
    EXPECT_EQ(Get(u"SRQ", &value), xvr::kStatusOk);
    EXPECT_EQ(value, u"65");
    EXPECT_EQ(Get(u"STB", &value), xvr::kStatusConnectionLost);
    std::string answer;
    EXPECT_EQ(Read(&answer), xvr::kStatusConnectionLost);
    EXPECT_EQ(m_driver->Close(m_handle, &m_error), xvr::kStatusReleased);
}

TEST(HislipAddress, DefaultsAndRefusals) {
    xvr::HislipAddress a;
    ASSERT_TRUE(xvr::ParseHislipAddress(u" 10.0.0.5 ", &a));
    EXPECT_EQ(a.host, u"10.0.0.5");
    EXPECT_EQ(a.subAddress, u"hislip0");
    EXPECT_EQ(a.port, 4880);
    ASSERT_TRUE(xvr::ParseHislipAddress(u"Bench:HiSLIP1 , 48800", &a));
    EXPECT_EQ(a.host, u"Bench");
    EXPECT_EQ(a.subAddress, u"HiSLIP1");
    EXPECT_EQ(a.port, 48800);
    for (const char16_t *bad : {u"", u":hislip0", u"h:", u"h:a b", u"h:hislip0,", u"h:hislip0,0",
                                u"h:hislip0,65536", u"h:hislip0,12x"})
        EXPECT_FALSE(xvr::ParseHislipAddress(bad, &a)) << std::u16string(bad).size();
}

}  // namespace
