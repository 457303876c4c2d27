// The "VXI-11" driver through the 17 exports against xvr-sim's VXI-11
// server (started by with_sim.py, which names its portmapper in
// XVR_SIM_PORTMAPPER), natively and, with the DLL, under wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support/host_fixture.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class Vxi11Host : public xvr::test::InitializedHost {
protected:
    void SetUp() override {
        const char *port = std::getenv("XVR_SIM_PORTMAPPER");
        if (!port)
            GTEST_SKIP() << "no simulator (XVR_SIM_PORTMAPPER unset): run through with_sim.py";
        m_Dir.WriteParameterFile(std::string("[VXI-11]\nPortmapper=") + port + "\n");
        InitializedHost::SetUp();
    }

    uint32_t Open(const char *address) {
        uint32_t h = 0;
        EXPECT_EQ(Host().OpenWithTimeout(kModule, &h, "VXI-11", address, 3000), XVR_OK)
            << Host().ErrorText();
        return h;
    }
    static int32_t Write(uint32_t h, const std::string &data,
                         uint32_t flags = XVR_WRITE_APPEND_DELIMITER) {
        int32_t n = static_cast<int32_t>(data.size());
        return Host().Write(h, reinterpret_cast<const uint8_t *>(data.data()), &n, flags);
    }
    static int32_t Read(uint32_t h, std::string *out, size_t size = 256,
                        uint32_t flags = XVR_READ_STOP_AT_DELIMITER) {
        out->assign(size, '\0');
        int32_t n = static_cast<int32_t>(size);
        const int32_t status = Host().Read(h, reinterpret_cast<uint8_t *>(out->data()), &n, flags);
        out->resize(static_cast<size_t>(n < 0 ? 0 : n));
        return status;
    }
    static std::string Get(uint32_t h, const char *name, int32_t *status = nullptr) {
        char value[64] = {};
        const int32_t s = Host().ParamGet(h, name, value, sizeof value);
        if (status) *status = s;
        return value;
    }
    static std::string Query(uint32_t h, const std::string &command) {
        std::string answer;
        EXPECT_EQ(Write(h, command), XVR_OK) << Host().ErrorText();
        EXPECT_EQ(Read(h, &answer), XVR_READ_DELIMITER) << Host().ErrorText();
        return answer;
    }
};

TEST_F(Vxi11Host, QueriesShareLinksAndCloseThem) {
    const uint32_t a = Open("127.0.0.1");
    const uint32_t b = Open(" 127.0.0.1 : INST0 ");
    EXPECT_EQ(a, b);  // the same address, defaults filled in, case aside
    EXPECT_EQ(Query(a, "*IDN?"), "XVR-SIM,Simulated instrument,0001,1.0");
    EXPECT_EQ(Get(a, "MAXRECV"), "1048576");
    EXPECT_EQ(Get(a, "TIMEOUT"), "1000");
    EXPECT_EQ(Get(a, "DELIMITER"), "\\0A");
    EXPECT_EQ(Get(a, "LOCK_TIMEOUT"), "0");
    const uint32_t other = Open("127.0.0.1:inst1");
    EXPECT_NE(other, a);
    EXPECT_EQ(Host().Close(a), XVR_OK);
    EXPECT_EQ(Query(b, "*IDN?"), "XVR-SIM,Simulated instrument,0001,1.0");
    EXPECT_EQ(Host().Close(b), XVR_CLOSE_RELEASED);
    EXPECT_EQ(Host().Close(other), XVR_CLOSE_RELEASED);
}

TEST_F(Vxi11Host, BlocksArriveExactlyAndFullBuffersContinue) {
    const uint32_t h = Open("127.0.0.1");
    ASSERT_EQ(Write(h, "BLK?"), XVR_OK);
    std::string head, data, rest;
    // "#71048576": the header, then the data by its length.
    ASSERT_EQ(Read(h, &head, 9, 0), XVR_READ_BUFFER_FULL);
    EXPECT_EQ(head, "#71048576");
    ASSERT_EQ(Read(h, &data, 1048576, 0), XVR_READ_BUFFER_FULL);
    ASSERT_EQ(data.size(), 1048576u);
    for (size_t i = 0; i < data.size(); ++i)
        if (static_cast<uint8_t>(data[i]) != (i + 10) % 256) FAIL() << "byte " << i;
    EXPECT_EQ(Read(h, &rest, 16, 0), XVR_READ_DELIMITER);  // END: the message is complete
    EXPECT_EQ(rest, "\n");

    // A small buffer: pieces with status 1, the last with 2.
    ASSERT_EQ(Write(h, "DATA? 30"), XVR_OK);
    std::string piece, all;
    int32_t status;
    while ((status = Read(h, &piece, 8, 0)) == XVR_READ_BUFFER_FULL) all += piece;
    EXPECT_EQ(status, XVR_READ_DELIMITER);
    all += piece;
    EXPECT_EQ(all, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCD\n");
    Host().Close(h);
}

TEST_F(Vxi11Host, DelimitersOfOneAndMoreBytes) {
    const uint32_t h = Open("127.0.0.1");
    ASSERT_EQ(Host().ParamSet(h, "DELIMITER", ","), XVR_OK);
    ASSERT_EQ(Write(h, "*IDN?", 0), XVR_OK);  // END alone ends the command
    std::string part;
    EXPECT_EQ(Read(h, &part), XVR_READ_DELIMITER);
    EXPECT_EQ(part, "XVR-SIM");
    ASSERT_EQ(Host().ParamSet(h, "DELIMITER", "01"), XVR_OK);
    EXPECT_EQ(Read(h, &part, 256, XVR_READ_STOP_AT_DELIMITER | XVR_READ_KEEP_DELIMITER),
              XVR_READ_DELIMITER);
    EXPECT_EQ(part, "Simulated instrument,0001");
    EXPECT_EQ(Read(h, &part), XVR_READ_DELIMITER);
    EXPECT_EQ(part, ",1.0\n");
    Host().Close(h);
}

TEST_F(Vxi11Host, ClearTriggerStatusByteRemoteAndTimeOuts) {
    const uint32_t h = Open("127.0.0.1");
    ASSERT_EQ(Host().ParamSet(h, "TIMEOUT", "300"), XVR_OK);
    ASSERT_EQ(Write(h, "*IDN?"), XVR_OK);
    EXPECT_EQ(std::atoi(Get(h, "STB").c_str()) & 0x10, 0x10);  // MAV: an answer waits
    EXPECT_EQ(Host().ParamSet(h, "CLEAR", ""), XVR_OK);
    EXPECT_EQ(std::atoi(Get(h, "STB").c_str()) & 0x10, 0);
    std::string answer;
    auto start = Clock::now();
    EXPECT_EQ(Read(h, &answer), XVR_ERR_TRANSFER);  // cleared: nothing comes
    EXPECT_GE(MsSince(start), 250);
    EXPECT_EQ(Host().ErrorText(), "");
    // The answer of a query that takes longer than the time-out is dropped
    // by the next clear; the link goes on.
    ASSERT_EQ(Write(h, "SLOW?"), XVR_OK);
    EXPECT_EQ(Read(h, &answer), XVR_ERR_TRANSFER);
    EXPECT_EQ(Host().ParamSet(h, "CLEAR", ""), XVR_OK);
    EXPECT_EQ(Query(h, "*IDN?"), "XVR-SIM,Simulated instrument,0001,1.0");
    EXPECT_EQ(Host().ParamSet(h, "TRIGGER", ""), XVR_OK);
    EXPECT_EQ(Host().ParamSet(h, "REMOTE", "REMOTE"), XVR_OK);
    EXPECT_EQ(Host().ParamSet(h, "REMOTE", "local"), XVR_OK);
    EXPECT_EQ(Host().ParamSet(h, "REMOTE", "LOCKOUT"), XVR_ERR_BAD_VALUE);
    EXPECT_EQ(Host().ParamSet(h, "MAXRECV", "5"), XVR_ERR_BAD_VALUE);
    Host().Close(h);
}

TEST_F(Vxi11Host, LocksKeepOtherClientsOut) {
    const uint32_t a = Open("127.0.0.1");
    const uint32_t b = Open("127.0.0.1:inst1");  // another link: another client
    ASSERT_EQ(Host().ParamSet(a, "LOCK", "exclusive"), XVR_OK) << Host().ErrorText();
    EXPECT_EQ(Get(a, "LOCK"), "EXCLUSIVE");
    EXPECT_EQ(Get(b, "LOCK"), "NONE");
    EXPECT_EQ(Write(b, "*IDN?"), XVR_ERR_LOCKED);
    EXPECT_NE(Host().ErrorText().find("127.0.0.1:inst1"), std::string::npos) << Host().ErrorText();
    EXPECT_EQ(Host().ParamSet(b, "LOCK_TIMEOUT", "300"), XVR_OK);
    auto start = Clock::now();
    EXPECT_EQ(Host().ParamSet(b, "LOCK", "EXCLUSIVE"), XVR_ERR_LOCKED);
    EXPECT_GE(MsSince(start), 250);
    EXPECT_EQ(Host().ParamSet(a, "LOCK", "SHARED:x"), XVR_ERR_BAD_VALUE);
    EXPECT_EQ(Query(a, "*IDN?"), "XVR-SIM,Simulated instrument,0001,1.0");
    ASSERT_EQ(Host().ParamSet(a, "LOCK", "NONE"), XVR_OK);
    EXPECT_EQ(Query(b, "*IDN?"), "XVR-SIM,Simulated instrument,0001,1.0");
    Host().Close(a);
    Host().Close(b);
}

TEST_F(Vxi11Host, ServiceRequestsWaitAndAreKept) {
    const uint32_t h = Open("127.0.0.1");
    ASSERT_EQ(Host().ParamSet(h, "TIMEOUT", "300"), XVR_OK);
    ASSERT_EQ(Host().ParamSet(h, "SRQ", "ENABLE"), XVR_OK) << Host().ErrorText();
    int32_t status = 0;
    auto start = Clock::now();
    Get(h, "SRQ", &status);
    EXPECT_EQ(status, XVR_ERR_TRANSFER);
    EXPECT_GE(MsSince(start), 250);
    // The instrument asks for service when an operation completes and the
    // status registers let it through (IEEE 488.2 *ESE, *SRE, *OPC).
    ASSERT_EQ(Write(h, "*SRE?"), XVR_OK);
    std::string answer;
    ASSERT_EQ(Read(h, &answer), XVR_READ_DELIMITER);
    for (const char *command : {"*CLS", "*ESE 1", "*SRE 32", "*OPC"})
        ASSERT_EQ(Write(h, command), XVR_OK);
    // It came while nobody waited: kept for the next get.
    const std::string stb = Get(h, "SRQ", &status);
    EXPECT_EQ(status, XVR_OK) << Host().ErrorText();
    EXPECT_EQ(std::atoi(stb.c_str()) & 0x40, 0x40) << stb;
    ASSERT_EQ(Host().ParamSet(h, "SRQ", "DISABLE"), XVR_OK);
    Host().Close(h);
}

}  // namespace
