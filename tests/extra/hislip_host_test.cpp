// The "HiSLIP" driver through the exports against xvr-sim's HiSLIP server
// (its address in XVR_HISLIP_SIM, set by tests/tools/with_sim.py with the
// instrument tests/extra/hislip_instrument.txt); skipped without it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/host_fixture.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;

class HislipSim : public xvr::test::InitializedHost {
protected:
    void SetUp() override {
        const char *address = std::getenv("XVR_HISLIP_SIM");
        if (!address || !*address)
            GTEST_SKIP() << "XVR_HISLIP_SIM not set: run through with_sim.py";
        const std::string text = address;
        m_host = text.substr(0, text.find(':'));
        m_port = text.substr(text.find(':') + 1);
        InitializedHost::SetUp();
    }
    // HOST:hislip0,PORT; another host text (127.1) makes another client.
    std::string Address(const std::string &host = "", const std::string &sub = "hislip0") const {
        return (host.empty() ? m_host : host) + ":" + sub + "," + m_port;
    }
    uint32_t Open(const std::string &address, int32_t expected = XVR_OK) {
        uint32_t h = 0;
        EXPECT_EQ(Host().OpenWithTimeout(kModule, &h, "HiSLIP", address.c_str(), 2000), expected)
            << Host().ErrorText();
        return h;
    }
    int32_t Send(uint32_t h, const std::string &command,
                 uint32_t flags = XVR_WRITE_APPEND_DELIMITER) {
        int32_t n = static_cast<int32_t>(command.size());
        return Host().Write(h, reinterpret_cast<const uint8_t *>(command.data()), &n, flags);
    }
    // One read into a buffer of size bytes.
    std::string Receive(uint32_t h, size_t size, uint32_t flags, int32_t expected) {
        std::vector<uint8_t> buffer(size + 1);
        int32_t n = static_cast<int32_t>(size);
        EXPECT_EQ(Host().Read(h, buffer.data(), &n, flags), expected) << Host().ErrorText();
        return std::string(reinterpret_cast<char *>(buffer.data()),
                           n > 0 ? static_cast<size_t>(n) : 0);
    }
    std::string Query(uint32_t h, const std::string &command) {
        EXPECT_EQ(Send(h, command), XVR_OK) << Host().ErrorText();
        return Receive(h, 256, XVR_READ_STOP_AT_DELIMITER, XVR_READ_DELIMITER);
    }
    std::string Get(uint32_t h, const char *name, int32_t expected = XVR_OK) {
        char value[128] = {};
        EXPECT_EQ(Host().ParamGet(h, name, value, sizeof value), expected)
            << name << ": " << Host().ErrorText();
        return value;
    }
    int32_t Set(uint32_t h, const char *name, const char *value) {
        return Host().ParamSet(h, name, value);
    }

    std::string m_host, m_port;
};

const char kIdn[] = "XVR-SIM,Simulated instrument,0001,1.0";

std::string Block(size_t length) {
    const std::string digits = std::to_string(length);
    std::string block = "#" + std::to_string(digits.size()) + digits;
    for (size_t i = 0; i < length; ++i) block.push_back(static_cast<char>((i + 10) % 256));
    return block + "\n";
}

TEST_F(HislipSim, QueriesBlocksContinuationAndDelimiter) {
    const uint32_t h = Open(Address());
    EXPECT_EQ(Query(h, "*IDN?"), kIdn);
    EXPECT_EQ(Get(h, "MODE"), "SYNCHRONIZED");  // the server prefers overlapped
    EXPECT_EQ(Get(h, "MAXRECV"), "1048576");
    EXPECT_EQ(Set(h, "MAXRECV", "5"), XVR_ERR_BAD_VALUE);

    // Blocks by their END, whatever bytes they hold; 16 MiB in one read.
    for (size_t length : {size_t{1} << 20, size_t{16} << 20}) {
        ASSERT_EQ(Send(h, length == 1u << 20 ? "BLOCK:SMALL?" : "BLOCK:LARGE?"), XVR_OK);
        const std::string expected = Block(length);
        EXPECT_TRUE(Receive(h, expected.size() + 10, 0, XVR_READ_DELIMITER) == expected) << length;
    }
    // A full buffer keeps the rest for the next read, which ends at END.
    ASSERT_EQ(Send(h, "*IDN?"), XVR_OK);
    std::string answer = Receive(h, 10, 0, XVR_READ_BUFFER_FULL);
    answer += Receive(h, 256, 0, XVR_READ_DELIMITER);
    EXPECT_EQ(answer, std::string(kIdn) + "\n");
    // The delimiter ends a read inside a message; END ends the last part.
    EXPECT_EQ(Set(h, "DELIMITER", ","), XVR_OK);
    ASSERT_EQ(Send(h, "*IDN?\n", 0), XVR_OK);
    EXPECT_EQ(Receive(h, 256, XVR_READ_STOP_AT_DELIMITER, XVR_READ_DELIMITER), "XVR-SIM");
    EXPECT_EQ(
        Receive(h, 256, XVR_READ_STOP_AT_DELIMITER | XVR_READ_KEEP_DELIMITER, XVR_READ_DELIMITER),
        "Simulated instrument,");
    EXPECT_EQ(Receive(h, 256, XVR_READ_STOP_AT_DELIMITER, XVR_READ_DELIMITER), "0001");
    EXPECT_EQ(Receive(h, 256, XVR_READ_STOP_AT_DELIMITER, XVR_READ_DELIMITER), "1.0\n");
    // A write longer than the server's message size (1 MiB) goes in parts.
    EXPECT_EQ(Set(h, "DELIMITER", "\\0A"), XVR_OK);
    EXPECT_EQ(Query(h, std::string((1 << 20) - 20, ' ') + "*IDN?"), kIdn);
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

TEST_F(HislipSim, ClearTriggerStatusByteRemote) {
    const uint32_t h = Open(Address());
    // An answer not read is gone after CLEAR; the next query gets its own.
    ASSERT_EQ(Send(h, "*IDN?"), XVR_OK);
    EXPECT_EQ(Set(h, "CLEAR", ""), XVR_OK);
    EXPECT_EQ(Query(h, "MEAS:VOLT?"), "+1.234500E+00");
    EXPECT_EQ(Set(h, "TRIGGER", ""), XVR_OK);
    // MAV while part of an answer waits, clear once all of it was read.
    ASSERT_EQ(Send(h, "*IDN?"), XVR_OK);
    Receive(h, 5, 0, XVR_READ_BUFFER_FULL);
    EXPECT_EQ(std::stoi(Get(h, "STB")) & 0x10, 0x10);
    Receive(h, 256, 0, XVR_READ_DELIMITER);
    EXPECT_EQ(std::stoi(Get(h, "STB")) & 0x10, 0);
    for (const char *mode : {"REMOTE", "LOCKOUT", "local"})
        EXPECT_EQ(Set(h, "REMOTE", mode), XVR_OK) << mode;
    EXPECT_EQ(Set(h, "REMOTE", "sideways"), XVR_ERR_BAD_VALUE);
    EXPECT_EQ(Set(h, "BAUDRATE", "9600"), XVR_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

TEST_F(HislipSim, LocksBetweenClients) {
    const uint32_t a = Open(Address());
    const uint32_t b = Open(Address("127.1"));
    ASSERT_NE(a, b);
    EXPECT_EQ(Set(a, "LOCK", "exclusive"), XVR_OK);
    EXPECT_EQ(Get(a, "LOCK"), "EXCLUSIVE");
    EXPECT_EQ(Set(b, "LOCK_TIMEOUT", "100"), XVR_OK);
    EXPECT_EQ(Set(b, "LOCK", "EXCLUSIVE"), XVR_ERR_LOCKED);
    EXPECT_EQ(Get(b, "LOCK"), "NONE");
    // I/O under another's lock waits at the server: the read reports the lock.
    EXPECT_EQ(Set(b, "TIMEOUT", "200"), XVR_OK);
    ASSERT_EQ(Send(b, "*IDN?"), XVR_OK);
    Receive(b, 256, XVR_READ_STOP_AT_DELIMITER, XVR_ERR_LOCKED);
    EXPECT_EQ(Query(a, "MEAS:VOLT?"), "+1.234500E+00");
    EXPECT_EQ(Set(a, "LOCK", "NONE"), XVR_OK);
    // The held query is answered now; that answer is not the next one's.
    EXPECT_EQ(Set(b, "TIMEOUT", "2000"), XVR_OK);
    EXPECT_EQ(Query(b, "MEAS:VOLT?"), "+1.234500E+00");

    // Shared: holders of one key work side by side, others wait.
    EXPECT_EQ(Set(a, "LOCK", "SHARED:bench"), XVR_OK);
    EXPECT_EQ(Set(b, "LOCK", "shared:bench"), XVR_OK);
    EXPECT_EQ(Get(b, "LOCK"), "SHARED:bench");
    EXPECT_EQ(Query(b, "*IDN?"), kIdn);
    const uint32_t c = Open(Address("127.0.0.01"));
    EXPECT_EQ(Set(c, "LOCK_TIMEOUT", "100"), XVR_OK);
    EXPECT_EQ(Set(c, "LOCK", "SHARED:other"), XVR_ERR_LOCKED);
    EXPECT_EQ(Set(c, "LOCK", "EXCLUSIVE"), XVR_ERR_LOCKED);
    EXPECT_EQ(Set(c, "LOCK", "SHARED:"), XVR_ERR_BAD_VALUE);
    for (uint32_t h : {a, b, c}) EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

TEST_F(HislipSim, ModesAndTimeOutsLeaveNoStaleAnswer) {
    const uint32_t h = Open(Address());
    EXPECT_EQ(Set(h, "TIMEOUT", "150"), XVR_OK);
    for (const char *mode : {"SYNCHRONIZED", "OVERLAPPED"}) {
        EXPECT_EQ(Set(h, "MODE", mode), XVR_OK) << Host().ErrorText();
        EXPECT_EQ(Get(h, "MODE"), mode);
        ASSERT_EQ(Send(h, "SLOW?"), XVR_OK);
        Receive(h, 256, XVR_READ_STOP_AT_DELIMITER, XVR_ERR_TRANSFER);
        EXPECT_EQ(Host().ErrorText(), "");
        EXPECT_EQ(Set(h, "TIMEOUT", "2000"), XVR_OK);
        EXPECT_EQ(Query(h, "*IDN?"), kIdn) << mode;
        EXPECT_EQ(Set(h, "TIMEOUT", "150"), XVR_OK);
    }
    // Overlapped: queries go out back to back, answers come in order.
    EXPECT_EQ(Set(h, "TIMEOUT", "2000"), XVR_OK);
    ASSERT_EQ(Send(h, "*IDN?"), XVR_OK);
    ASSERT_EQ(Send(h, "MEAS:VOLT?"), XVR_OK);
    EXPECT_EQ(Receive(h, 256, XVR_READ_STOP_AT_DELIMITER, XVR_READ_DELIMITER), kIdn);
    EXPECT_EQ(Receive(h, 256, XVR_READ_STOP_AT_DELIMITER, XVR_READ_DELIMITER), "+1.234500E+00");
    EXPECT_EQ(Set(h, "CLEAR", "1"), XVR_OK);
    EXPECT_EQ(Get(h, "MODE"), "OVERLAPPED");
    EXPECT_EQ(Set(h, "MODE", "sideways"), XVR_ERR_BAD_VALUE);
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

TEST_F(HislipSim, ServiceRequestsAreKeptAndWaitedFor) {
    const uint32_t h = Open(Address());
    EXPECT_EQ(Set(h, "TIMEOUT", "500"), XVR_OK);
    EXPECT_EQ(Set(h, "SRQ", "ENABLE"), XVR_OK);
    // IEEE 488.2: operation complete -> ESB -> a service request.
    for (const char *command : {"*CLS", "*ESE 1", "*SRE 32", "*OPC"})
        ASSERT_EQ(Send(h, command), XVR_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // arrives while nobody waits
    char value[32] = {};
    const int32_t status = Host().ParamGet(h, "SRQ", value, sizeof value);
    ASSERT_EQ(status, XVR_OK) << Host().ErrorText();
    EXPECT_EQ(std::stoi(value) & 0x40, 0x40);
    // None left: the next get waits its time-out.
    Get(h, "SRQ", XVR_ERR_TRANSFER);
    EXPECT_EQ(Set(h, "SRQ", "DISABLE"), XVR_OK);
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

TEST_F(HislipSim, SharingAndRefusedSubAddress) {
    const uint32_t a = Open(Address());
    const uint32_t b = Open(Address("", "HISLIP0"));
    EXPECT_EQ(a, b);
    EXPECT_EQ(Host().Close(a), XVR_OK);
    EXPECT_EQ(Query(b, "*IDN?"), kIdn);
    EXPECT_EQ(Host().Close(b), XVR_CLOSE_RELEASED);

    Open(Address("", "inst7"), XVR_ERR_REFUSED);
    EXPECT_NE(Host().ErrorText().find("unknown sub-address inst7"), std::string::npos)
        << Host().ErrorText();
}

}  // namespace
