// The "COM" driver against pseudo-terminals: the test plays the instrument on
// the master side and checks the slave's line settings with tcgetattr.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "drivers/com/com_driver.h"
#include "frame/texts.h"
#include "platform/platform.h"
#include "support/pty_pair.h"
#include "support/test_env.h"

namespace {

using namespace xvr;
using xvr::test::PtyPair;
using Clock = std::chrono::steady_clock;

std::u16string W(const std::string &s) { return platform::AnsiToWide(s); }
std::string A(const std::u16string &s) { return platform::WideToAnsi(s); }

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ComDriver : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Ok()); }

    // Opens the address; the device handle, 0 on failure (status in *status).
    uint32_t Open(const std::string &address, int32_t *status = nullptr) {
        uint32_t handle = 0x01020000;
        int32_t s = driver->Open(&handle, W(address), -1, &error);
        if (status) *status = s;
        return s == 0 ? handle : 0;
    }
    uint32_t OpenPty() {
        uint32_t h = Open(pty.SlavePath());
        EXPECT_NE(h, 0u) << A(error);
        return h;
    }
    int32_t Set(uint32_t h, const std::u16string &name, const std::string &value) {
        return driver->ParamSet(h, name, W(value), &error);
    }
    std::string Get(uint32_t h, const std::u16string &name) {
        std::u16string value;
        EXPECT_EQ(driver->ParamGet(h, name, &value, &error), 0) << A(name);
        return A(value);
    }
    int32_t Read(uint32_t h, std::string *data, int32_t capacity, uint32_t flags) {
        data->assign(static_cast<size_t>(capacity > 0 ? capacity : 0), '#');
        int32_t length = capacity;
        int32_t status =
            driver->Read(h, reinterpret_cast<uint8_t *>(&(*data)[0]), &length, flags, &error);
        if (status != kStatusBadHandle) data->resize(static_cast<size_t>(length));
        return status;
    }
    int32_t Write(uint32_t h, const std::string &data, uint32_t flags, int32_t *sent = nullptr) {
        int32_t length = static_cast<int32_t>(data.size());
        int32_t status = driver->Write(h, reinterpret_cast<const uint8_t *>(data.data()), &length,
                                       flags, &error);
        if (sent) *sent = length;
        return status;
    }

    std::unique_ptr<CXVR_COM> driver = std::make_unique<CXVR_COM>();
    PtyPair pty;
    std::u16string error;
};

TEST_F(ComDriver, OpensOfOnePortNameShareOneRecord) {
    EXPECT_EQ(driver->m_sName, u"COM");
    uint32_t h1 = OpenPty();
    ASSERT_EQ(h1, 0x01020001u);
    ASSERT_EQ(Set(h1, u"TIMEOUT", "321"), 0);
    uint32_t h2 = Open("  " + pty.SlavePath() + " ");
    EXPECT_EQ(h2, h1);
    EXPECT_EQ(Get(h2, u"TIMEOUT"), "321");

    EXPECT_EQ(driver->Close(h1, &error), 0);
    EXPECT_TRUE(driver->HasOpenDevices());
    EXPECT_EQ(Write(h1, "still open", 0), 0);  // the other open keeps the port
    EXPECT_EQ(pty.Receive(10, 1000), "still open");
    EXPECT_EQ(driver->Close(h1, &error), kStatusReleased);
    EXPECT_FALSE(driver->HasOpenDevices());

    // The port is free again: another holder can lock it.
    int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST_F(ComDriver, ComNamesMapThroughTheParameterFile) {
    xvr::test::ScopedXvrDir dir;
    dir.WriteParameterFile("[COM]\r\nCOM7=" + pty.SlavePath() + "\r\n");
    uint32_t h = Open(" com7");
    ASSERT_NE(h, 0u) << A(error);
    EXPECT_EQ(Open("COM7 "), h);
    // The interface name in texts is the port name.
    std::u16string value;
    EXPECT_EQ(driver->ParamGet(h, u" foo ", &value, &error), kStatusUnknownParam);
    EXPECT_EQ(error, FormatText(kTextParamUnsupported, {u"FOO", u"COM7"}));
    ASSERT_EQ(Write(h, "hi", kWriteAppendDelimiter), 0);
    EXPECT_EQ(pty.Receive(3, 1000), "hi\r");
}

TEST_F(ComDriver, FailedOpensReportThePortAndTheSystemText) {
    int32_t status = 0;
    EXPECT_EQ(Open("/dev/No-Such-Port", &status), 0u);
    EXPECT_EQ(status, kStatusPortOpenFailed);
    EXPECT_EQ(error, u"/dev/No-Such-Port:" + SystemText(ENOENT));
    EXPECT_FALSE(driver->HasOpenDevices());

    // A port somebody else holds stays theirs.
    int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Open(pty.SlavePath(), &status), 0u);
    EXPECT_EQ(status, kStatusPortOpenFailed);
    EXPECT_EQ(error, W(pty.SlavePath() + ":") + SystemText(EBUSY));
    ::close(fd);
    EXPECT_NE(OpenPty(), 0u);
}

TEST_F(ComDriver, FreedDeviceNumbersAreReusedAndCheckedEverywhere) {
    PtyPair second, third;
    ASSERT_TRUE(second.Ok() && third.Ok());
    uint32_t h1 = OpenPty();
    uint32_t h2 = Open(second.SlavePath());
    ASSERT_EQ(h2 & 0xFFFF, 2u);
    ASSERT_EQ(driver->Close(h1, &error), kStatusReleased);
    EXPECT_EQ(Open(third.SlavePath()) & 0xFFFF, 1u);

    for (uint32_t bad : {0x01020000u, 0x01020003u, 0x0102FFFFu}) {
        std::string data;
        std::u16string value;
        error.clear();
        EXPECT_EQ(driver->Close(bad, &error), kStatusBadHandle);
        EXPECT_EQ(error, LoadText(kTextNotOpen));
        EXPECT_EQ(Read(bad, &data, 4, 0), kStatusBadHandle);
        EXPECT_EQ(Write(bad, "x", 0), kStatusBadHandle);
        EXPECT_EQ(driver->ParamGet(bad, u"TIMEOUT", &value, &error), kStatusBadHandle);
        EXPECT_EQ(driver->ParamSet(bad, u"TIMEOUT", u"5", &error), kStatusBadHandle);
        EXPECT_EQ(error, LoadText(kTextNotOpen));
    }
}

TEST_F(ComDriver, DestroyingTheDriverReleasesItsPorts) {
    OpenPty();
    Open(pty.SlavePath());  // open count 2
    driver.reset();
    int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST_F(ComDriver, OpeningPutsTheLineInRawModeAndReportsTheRecordDefaults) {
    uint32_t h = OpenPty();
    termios t = pty.SlaveSettings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(Get(h, u"BAUDRATE"), "9600");
    EXPECT_EQ(Get(h, u"databits"), "8");
    EXPECT_EQ(Get(h, u" Parity "), "NONE");
    EXPECT_EQ(Get(h, u"STOPBITS"), "1");
    EXPECT_EQ(Get(h, u"HANDSHAKE"), "NONE");
    EXPECT_EQ(Get(h, u"TIMEOUT"), "1000");
    EXPECT_EQ(Get(h, u"DELIMITER"), "\\0D");
}

TEST_F(ComDriver, EverySuccessfulSetWritesTheWholeRecordToTheLine) {
    uint32_t h = OpenPty();
    // A pseudo-terminal runs neither parity nor fewer than 8 data bits: the
    // line refuses them, the record keeps them, and so every later set is
    // refused until they are undone.
    const std::u16string refused =
        FormatText(kTextSetSettingsFailed, {W(pty.SlavePath()), SystemText(EINVAL)});
    for (const char *parity : {" even ", "odd", "Mark", "SPACE"}) {
        EXPECT_EQ(Set(h, u" parity ", parity), kStatusSetStateFailed) << parity;
        EXPECT_EQ(error, refused);
        EXPECT_EQ(pty.SlaveSettings().c_cflag & (PARENB | PARODD | CMSPAR), 0u);
    }
    EXPECT_EQ(Get(h, u"PARITY"), "SPACE");
    EXPECT_EQ(Set(h, u"TIMEOUT", "700"), kStatusSetStateFailed);
    EXPECT_EQ(Get(h, u"TIMEOUT"), "700");
    EXPECT_EQ(Set(h, u"PARITY", "NONE"), 0);
    termios t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    EXPECT_EQ(Set(h, u"DATABITS", "7"), kStatusSetStateFailed);
    EXPECT_EQ(Get(h, u"DATABITS"), "7");
    EXPECT_EQ(Set(h, u"DATABITS", "5"), 0);  // accepted, but runs as 8
    EXPECT_EQ(Get(h, u"DATABITS"), "8");
    EXPECT_EQ(pty.SlaveSettings().c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    EXPECT_EQ(Set(h, u"STOPBITS", "2"), 0);
    EXPECT_NE(pty.SlaveSettings().c_cflag & CSTOPB, 0u);
    EXPECT_EQ(Set(h, u"STOPBITS", "1"), 0);
    EXPECT_EQ(pty.SlaveSettings().c_cflag & CSTOPB, 0u);

    EXPECT_EQ(Set(h, u"BAUDRATE", "19200"), 0);
    t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(Set(h, u"BAUDRATE", "12345"), 0);  // no B constant: the kernel's free rate
    EXPECT_EQ(pty.SlaveBaudRate(), 12345u);
    EXPECT_EQ(Get(h, u"BAUDRATE"), "12345");
    EXPECT_EQ(Set(h, u"BAUDRATE", "fast"), 0);  // no number: unchanged
    EXPECT_EQ(Get(h, u"BAUDRATE"), "12345");
    EXPECT_EQ(Set(h, u"BAUDRATE", "115200"), 0);
    t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));

    // A time-out set rewrites the line too.
    ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &t), 0);
    t.c_cflag |= CSTOPB;
    ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &t), 0);
    EXPECT_EQ(Set(h, u"TIMEOUT", "500"), 0);
    EXPECT_EQ(pty.SlaveSettings().c_cflag & CSTOPB, 0u);
    EXPECT_EQ(Set(h, u"TIMEOUT", "0"), 0);
    EXPECT_EQ(Get(h, u"TIMEOUT"), "1000");
}

TEST_F(ComDriver, HandshakeSwitchesTheFlowControlOfBothKinds) {
    uint32_t h = OpenPty();
    EXPECT_EQ(Set(h, u"HANDSHAKE", "rts/cts"), 0);
    termios t = pty.SlaveSettings();
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

    EXPECT_EQ(Set(h, u"HANDSHAKE", " XON/XOFF "), 0);
    EXPECT_EQ(Get(h, u"HANDSHAKE"), "XON/XOFF");
    t = pty.SlaveSettings();
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);

    EXPECT_EQ(Set(h, u"HANDSHAKE", "NONE"), 0);
    t = pty.SlaveSettings();
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
}

TEST_F(ComDriver, RejectedValuesStoreTheirFallbackForTheNextSet) {
    uint32_t h = OpenPty();
    struct Case {
        const char16_t *name;
        const char *value;
        const char *fallback;
    } cases[] = {
        {u"DATABITS", "9", "8"},       {u"DATABITS", "3", "8"},     {u"DATABITS", "many", "8"},
        {u"PARITY", "EVENLY", "NONE"}, {u"STOPBITS", "3", "2"},     {u"STOPBITS", "", "2"},
        {u"STOPBITS", "0", "2"},       {u"HANDSHAKE", "DTR", "NONE"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Set(h, u"BAUDRATE", "19200"), 0);
        ASSERT_EQ(Set(h, u"STOPBITS", "1"), 0) << A(error);
        ASSERT_EQ(Set(h, u"HANDSHAKE", "RTS/CTS"), 0);
        const termios before = pty.SlaveSettings();
        error.clear();
        EXPECT_EQ(Set(h, c.name, c.value), kStatusBadValue) << A(c.name) << "=" << c.value << A(error);
        EXPECT_EQ(error, FormatText(kTextParamInvalid, {c.name}));
        EXPECT_EQ(Get(h, c.name), c.fallback);
        EXPECT_EQ(pty.SlaveSettings().c_cflag, before.c_cflag);  // the port waits
    }
    // The fallback of the last rejected value reaches the line with the next set.
    ASSERT_EQ(Set(h, u"STOPBITS", "4"), kStatusBadValue);
    ASSERT_EQ(Set(h, u"DELIMITER", "\\0A"), 0);
    EXPECT_NE(pty.SlaveSettings().c_cflag & CSTOPB, 0u);

    // A delimiter of more than 100 bytes is refused and the old one kept.
    EXPECT_EQ(Set(h, u"DELIMITER", std::string(101, 'x')), kStatusBadValue);
    EXPECT_EQ(Get(h, u"DELIMITER"), "\\0A");
    EXPECT_EQ(Set(h, u"DELIMITER", ""), 0);
    EXPECT_EQ(Get(h, u"DELIMITER"), "");

    EXPECT_EQ(Set(h, u"BUFFER", "10"), kStatusUnknownParam);
    EXPECT_EQ(error, FormatText(kTextParamUnsupported, {u"BUFFER", W(pty.SlavePath())}));
}

TEST_F(ComDriver, ARateTheLineRefusesFailsTheSetAndTheWrite) {
    uint32_t h = OpenPty();
    EXPECT_EQ(Set(h, u"BAUDRATE", "0"), kStatusSetStateFailed);
    EXPECT_EQ(error, FormatText(kTextSetSettingsFailed,
                                {W(pty.SlavePath()), SystemText(EINVAL)}));
    EXPECT_EQ(Get(h, u"BAUDRATE"), "0");  // the record keeps the refused rate
    int32_t sent = -2;
    EXPECT_EQ(Write(h, "abc", 0, &sent), kStatusTimeoutsFailed);
    EXPECT_EQ(sent, 3);
    EXPECT_EQ(error, FormatText(kTextTimeoutSetFailed, {W(pty.SlavePath()), SystemText(EINVAL)}));
    EXPECT_EQ(pty.Receive(1, 100), "");
}

TEST_F(ComDriver, ReadsStopAtTheDelimiterWithTheFlagsApplied) {
    uint32_t h = OpenPty();
    std::string data;
    pty.Send("OK\rOK\rOK\r");
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "OK");
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter | kReadKeepDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "OK\r");
    int32_t length = 100;
    uint8_t buffer[100];
    EXPECT_EQ(driver->Read(h, buffer, &length, kReadStopAtDelimiter | kReadZeroTerminate, &error),
              kStatusDelimiter);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 3), std::string("OK\0", 3));

    // A buffer that fills with the delimiter's byte reports the full buffer.
    pty.Send("AB\r");
    EXPECT_EQ(Read(h, &data, 3, kReadStopAtDelimiter), kStatusBufferFull);
    EXPECT_EQ(data, "AB\r");

    // An empty delimiter ends every read after one byte.
    ASSERT_EQ(Set(h, u"DELIMITER", ""), 0);
    pty.Send("xy");
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "x");
}

TEST_F(ComDriver, ATwoByteDelimiterIsFoundAcrossSeveralArrivals) {
    uint32_t h = OpenPty();
    ASSERT_EQ(Set(h, u"DELIMITER", "\\0d\\0a"), 0);
    std::thread instrument([this] {
        pty.Send("\nA\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        pty.Send("B\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        pty.Send("\nrest");
    });
    std::string data;
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusDelimiter);
    instrument.join();
    EXPECT_EQ(data, "\nA\rB");
    // Nothing beyond the delimiter was taken.
    ASSERT_EQ(Set(h, u"TIMEOUT", "100"), 0);
    EXPECT_EQ(Read(h, &data, 100, 0), kStatusTransfer);
    EXPECT_EQ(data, "rest");
}

TEST_F(ComDriver, ReadsWithoutTheDelimiterFlagFillTheBufferOrTimeOut) {
    uint32_t h = OpenPty();
    ASSERT_EQ(Set(h, u"TIMEOUT", "200"), 0);
    std::string data;
    pty.Send("12345678");
    EXPECT_EQ(Read(h, &data, 5, 0), kStatusBufferFull);
    EXPECT_EQ(data, "12345");

    // With a zero byte, one place of the capacity is kept for it.
    pty.Send("abcdefghijkl");
    int32_t length = 10;
    uint8_t buffer[10];
    EXPECT_EQ(driver->Read(h, buffer, &length, kReadZeroTerminate, &error), kStatusBufferFull);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 10), std::string("678abcdef\0", 10));

    // Silence longer than the time-out ends the read with what came.
    auto start = Clock::now();
    EXPECT_EQ(Read(h, &data, 100, 0), kStatusTransfer);
    int64_t ms = MsSince(start);
    EXPECT_EQ(data, "ghijkl");
    EXPECT_GE(ms, 190);
    EXPECT_LT(ms, 1500);
    EXPECT_TRUE(error.empty());

    start = Clock::now();
    EXPECT_EQ(Read(h, &data, 100, kReadStopAtDelimiter), kStatusTransfer);
    EXPECT_EQ(data, "");
    EXPECT_GE(MsSince(start), 190);
}

TEST_F(ComDriver, BadLengthsAndNoCapacityReturnAtOnce) {
    uint32_t h = OpenPty();
    pty.Send("data");
    uint8_t buffer[4] = {'#', '#', '#', '#'};
    int32_t length = 0;
    auto start = Clock::now();
    EXPECT_EQ(driver->Read(h, buffer, &length, 0, &error), kStatusBufferFull);
    EXPECT_EQ(length, 0);
    length = 1;
    EXPECT_EQ(driver->Read(h, buffer, &length, kReadZeroTerminate, &error), kStatusBufferFull);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_LT(MsSince(start), 500);

    length = -1;
    EXPECT_EQ(driver->Read(h, buffer, &length, 0, &error), kStatusTransfer);
    EXPECT_EQ(length, -1);
    length = -5;
    EXPECT_EQ(driver->Write(h, buffer, &length, 0, &error), kStatusTransfer);
    EXPECT_EQ(length, -5);
    // The bytes still wait for a proper read.
    std::string data;
    EXPECT_EQ(Read(h, &data, 4, 0), kStatusBufferFull);
    EXPECT_EQ(data, "data");
}

TEST_F(ComDriver, WritesSendTheDelimiterWithoutCountingIt) {
    uint32_t h = OpenPty();
    int32_t sent = 0;
    EXPECT_EQ(Write(h, "*IDN?", kWriteAppendDelimiter, &sent), 0);
    EXPECT_EQ(sent, 5);
    EXPECT_EQ(pty.Receive(6, 1000), "*IDN?\r");
    ASSERT_EQ(Set(h, u"DELIMITER", "END"), 0);
    EXPECT_EQ(Write(h, "x", 0, &sent), 0);
    EXPECT_EQ(Write(h, "y", kWriteAppendDelimiter, &sent), 0);
    EXPECT_EQ(pty.Receive(5, 1000), "xyEND");
}

TEST_F(ComDriver, AWriteTheLineHoldsBackEndsAtItsTimeOut) {
    uint32_t h = OpenPty();
    ASSERT_EQ(Set(h, u"BAUDRATE", "115200"), 0);
    ASSERT_EQ(Set(h, u"TIMEOUT", "200"), 0);
    ASSERT_EQ(Set(h, u"HANDSHAKE", "XON/XOFF"), 0);
    pty.Send("\x13");  // XOFF: the line stops sending
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto start = Clock::now();
    int32_t sent = -1;
    // 20000 / 115200 + 1 = 1 ms per byte on top of the time-out.
    EXPECT_EQ(Write(h, "0123456789", kWriteAppendDelimiter, &sent), kStatusTransfer);
    int64_t ms = MsSince(start);
    EXPECT_EQ(sent, 0);
    EXPECT_GE(ms, 200);
    EXPECT_LT(ms, 2000);
    EXPECT_TRUE(error.empty());
    pty.Send("\x11");  // XON: it goes on
    EXPECT_EQ(Write(h, "go", kWriteAppendDelimiter, &sent), 0);
    EXPECT_EQ(pty.Receive(3, 1000), "go\r");
}

TEST_F(ComDriver, AHungUpLineFailsTheTransfersAndStillCloses) {
    uint32_t h = OpenPty();
    ASSERT_EQ(Set(h, u"TIMEOUT", "5000"), 0);
    pty.Send("par");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.CloseMaster();

    auto start = Clock::now();
    std::string data;
    int32_t status = Read(h, &data, 100, kReadStopAtDelimiter);
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_LT(status, 0);
    EXPECT_FALSE(error.empty());
    EXPECT_LE(data.size(), 3u);

    error.clear();
    status = Read(h, &data, 100, 0);
    EXPECT_EQ(status, kStatusTransfer);
    EXPECT_EQ(error, FormatText(kTextReceiveFailed, {SystemText(EIO)}));

    int32_t sent = -1;
    EXPECT_EQ(Write(h, "lost", 0, &sent), kStatusWriteFailed);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(A(error).find(">" + pty.SlavePath() + "<") != std::string::npos, true) << A(error);
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_EQ(driver->Close(h, &error), kStatusReleased);
}

}  // namespace

#endif
