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
#include "base/texts.h"
#include "platform/platform.h"
#include "support/pty_pair.h"
#include "support/test_env.h"

namespace {

using namespace xvr;
using Clock = std::chrono::steady_clock;

std::u16string W(const std::string &s) { return platform::AnsiToWide(s); }
std::string A(const std::u16string &s) { return platform::WideToAnsi(s); }

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ComDriver : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Ok()); }

    // The device handle, 0 on failure (the status in status).
    uint32_t Open(const std::string &address) {
        uint32_t handle = 0x01020000;
        status = driver->Open(&handle, W(address), -1, &error);
        return status == kStatusOk ? handle : 0;
    }
    uint32_t OpenPty() {
        uint32_t h = Open(pty.SlavePath());
        EXPECT_NE(h, 0u) << A(error);
        return h;
    }
    // Whether another holder could take the port now.
    bool PortFree() {
        int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        bool free = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (fd >= 0) ::close(fd);
        return free;
    }
    int32_t Set(uint32_t h, const std::u16string &name, const std::string &value) {
        return driver->ParamSet(h, name, W(value), &error);
    }
    // The count lands in n; data holds the bytes read, and the byte after
    // them when a zero byte was asked for.
    int32_t Read(uint32_t h, int32_t capacity, uint32_t flags) {
        data.assign(static_cast<size_t>(capacity > 0 ? capacity : 0), '#');
        n = capacity;
        int32_t s = driver->Read(h, reinterpret_cast<uint8_t *>(&data[0]), &n, flags, &error);
        const bool zero = (flags & kReadZeroTerminate) && capacity > 0;
        data.resize(s == kStatusBadHandle || n < 0 ? 0 : static_cast<size_t>(n) + zero);
        return s;
    }
    int32_t Write(uint32_t h, const std::string &bytes, uint32_t flags) {
        n = static_cast<int32_t>(bytes.size());
        return driver->Write(h, reinterpret_cast<const uint8_t *>(bytes.data()), &n, flags, &error);
    }

    std::unique_ptr<CXVR_COM> driver = std::make_unique<CXVR_COM>();
    xvr::test::PtyPair pty;
    std::u16string error;
    std::string data;
    int32_t n = 0, status = kStatusOk;
};

TEST_F(ComDriver, PortsAreSharedByNameHeldExclusivelyAndReleased) {
    uint32_t h = OpenPty();
    ASSERT_EQ(h, 0x01020001u);
    EXPECT_EQ(Open("  " + pty.SlavePath() + " "), h);
    EXPECT_EQ(driver->Close(h, &error), kStatusOk);
    EXPECT_FALSE(PortFree());
    EXPECT_EQ(Write(h, "still open", 0), kStatusOk);
    EXPECT_EQ(pty.Receive(10, 1000), "still open");
    EXPECT_EQ(driver->Close(h, &error), kStatusReleased);
    EXPECT_FALSE(driver->HasOpenDevices());
    EXPECT_TRUE(PortFree());
    std::u16string value;
    for (int32_t s : {Read(h, 4, 0), Write(h, "x", 0), driver->Close(h, &error),
                      driver->ParamGet(h, u"TIMEOUT", &value, &error),
                      driver->ParamSet(h, u"TIMEOUT", u"5", &error)})
        EXPECT_EQ(s, kStatusBadHandle);
    EXPECT_EQ(error, LoadText(kTextNotOpen));

    // COM names map through the parameter file; texts name the port.
    xvr::test::ScopedXvrDir dir;
    dir.WriteParameterFile("[COM]\r\nCOM7=" + pty.SlavePath() + "\r\n");
    h = Open(" com7");
    EXPECT_EQ(Open("COM7 "), h);
    EXPECT_EQ(driver->ParamGet(h, u" foo ", &value, &error), kStatusUnknownParam);
    EXPECT_EQ(error, FormatText(kTextParamUnsupported, {u"FOO", u"COM7"}));
    ASSERT_EQ(Write(h, "hi", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(pty.Receive(3, 1000), "hi\r");
    driver.reset();
    EXPECT_TRUE(PortFree());

    // Failed opens name the port and give the system's text.
    driver = std::make_unique<CXVR_COM>();
    EXPECT_EQ(Open("/dev/No-Such-Port"), 0u);
    EXPECT_EQ(status, kStatusNotFound);
    EXPECT_EQ(error, u"/dev/No-Such-Port:" + SystemText(ENOENT));
    // A port somebody else holds stays theirs.
    int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Open(pty.SlavePath()), 0u);
    EXPECT_EQ(status, kStatusNotFound);
    EXPECT_EQ(error, W(pty.SlavePath() + ":") + SystemText(EBUSY));
    ::close(fd);
    EXPECT_NE(OpenPty(), 0u);
}

TEST_F(ComDriver, EverySuccessfulSetWritesTheWholeRecordToTheLine) {
    uint32_t h = OpenPty();
    // A pseudo-terminal runs neither parity, nor fewer than 8 data bits, nor
    // rate 0: the line refuses them, the record keeps them, and every later
    // set (TIMEOUT too) is refused until they are undone; data bits the line
    // does not run are refused as a bad value and neither record nor line
    // changes.  A rejected value leaves its fallback in the record; the line
    // gets it with the next set.
    const int32_t ok = kStatusOk, refused = kStatusComSetSettings, bad = kStatusBadValue;
    const char *l1 = "19200 8 N 1 NONE", *l2 = "115200 8 N 1 RTSCTS", *l3 = "115200 8 N 2 NONE";
    struct Case {
        const char16_t *name;
        std::string set;
        int32_t status;
        const char *get, *line;
    };
    const Case cases[] = {
        {u"BAUDRATE", "19200", ok, "19200", l1},
        {u"PARITY", " even ", refused, "EVEN", l1},
        {u"PARITY", "odd", refused, "ODD", l1},
        {u"PARITY", "Mark", refused, "MARK", l1},
        {u"PARITY", "SPACE", refused, "SPACE", l1},
        {u"TIMEOUT", "700", refused, "700", l1},
        {u"PARITY", "NONE", ok, "NONE", l1},
        {u"DATABITS", "7", bad, "8", l1},
        {u"DATABITS", "5", bad, "8", l1},
        {u"DATABITS", "4", bad, "8", l1},
        {u"STOPBITS", "2", ok, "2", "19200 8 N 2 NONE"},
        {u"BAUDRATE", "12345", ok, "12345", "12345 8 N 2 NONE"},  // no B constant
        {u"BAUDRATE", "fast", ok, "12345", "12345 8 N 2 NONE"},   // no number: unchanged
        {u"BAUDRATE", "115200", ok, "115200", l3},
        {u"HANDSHAKE", "rts/cts", ok, "RTS/CTS", "115200 8 N 2 RTSCTS"},
        {u"STOPBITS", "1", ok, "1", l2},
        {u"DATABITS", "9", bad, "8", l2},
        {u"DATABITS", "3", bad, "8", l2},
        {u"DATABITS", "many", bad, "8", l2},
        {u"PARITY", "EVENLY", bad, "NONE", l2},
        {u"HANDSHAKE", "DTR", bad, "NONE", l2},
        {u"STOPBITS", "0", bad, "2", l2},
        {u"STOPBITS", "", bad, "2", l2},
        {u"STOPBITS", "3", bad, "2", l2},
        {u"DELIMITER", std::string(101, 'x'), bad, "\\0D", l2},  // more than 100 bytes
        {u"DELIMITER", "\\0A", ok, "\\0A", l3},
        {u"HANDSHAKE", " XON/XOFF ", ok, "XON/XOFF", "115200 8 N 2 XONXOFF"},
        {u"HANDSHAKE", "NONE", ok, "NONE", l3},
        {u"BAUDRATE", "0", refused, "0", l3},
        {u"DATABITS", "7", refused, "7", l3},  // the rate is what the line refuses
    };
    for (const Case &c : cases) {
        error.clear();
        EXPECT_EQ(Set(h, c.name, c.set), c.status) << A(c.name) << "=" << c.set;
        EXPECT_EQ(error, c.status == ok    ? u""
                         : c.status == bad ? FormatText(kTextParamInvalid, {c.name})
                                           : FormatText(kTextSetSettingsFailed,
                                                        {W(pty.SlavePath()), SystemText(EINVAL)}));
        std::u16string value;
        EXPECT_EQ(driver->ParamGet(h, c.name, &value, &error), kStatusOk);
        EXPECT_EQ(A(value), c.get);
        EXPECT_EQ(pty.Line(), c.line) << A(c.name) << "=" << c.set;
    }
    // A write at rate 0 fails before anything goes out.
    EXPECT_EQ(Write(h, "abc", 0), kStatusComTimeouts);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(error, FormatText(kTextTimeoutSetFailed, {W(pty.SlavePath()), SystemText(EINVAL)}));
    EXPECT_EQ(pty.Receive(1, 100), "");
}

TEST_F(ComDriver, ReadsEndAtTheDelimiterAFullBufferOrTheTimeOut) {
    uint32_t h = OpenPty();
    ASSERT_EQ(Set(h, u"TIMEOUT", "200"), kStatusOk);
    pty.Send("OK\rOK\rOK\r");
    // Negative lengths touch neither the count nor the line.
    EXPECT_EQ(Read(h, -1, 0), kStatusTransfer);
    EXPECT_EQ(n, -1);
    n = -5;
    EXPECT_EQ(driver->Write(h, nullptr, &n, 0, &error), kStatusTransfer);
    EXPECT_EQ(n, -5);

    const uint32_t toDelimiter = kReadStopAtDelimiter;
    struct Case {
        const char *send;
        int32_t capacity;
        uint32_t flags;
        int32_t status;
        std::string data;
        bool waits = false;
    };
    const Case cases[] = {
        {"", 100, toDelimiter, kStatusDelimiter, "OK"},
        {"", 100, toDelimiter | kReadKeepDelimiter, kStatusDelimiter, "OK\r"},
        {"", 100, toDelimiter | kReadZeroTerminate, kStatusDelimiter, {"OK\0", 3}},
        {"AB\r", 3, toDelimiter, kStatusBufferFull, "AB\r"},  // full before the delimiter counts
        {"12345678", 5, 0, kStatusBufferFull, "12345"},
        {"abcdefghijkl", 10, kReadZeroTerminate, kStatusBufferFull, {"678abcdef\0", 10}},
        // No room for a byte: at once, nothing written.
        {"", 0, 0, kStatusBufferFull, ""},
        {"", 1, kReadZeroTerminate, kStatusBufferFull, "#"},
        // Silence longer than the time-out ends the read with what came.
        {"", 100, 0, kStatusTransfer, "ghijkl", true},
        {"", 100, toDelimiter, kStatusTransfer, "", true},
    };
    for (const Case &c : cases) {
        pty.Send(c.send);
        error.clear();
        const auto start = Clock::now();
        EXPECT_EQ(Read(h, c.capacity, c.flags), c.status) << c.capacity << "/" << c.flags;
        const int64_t ms = MsSince(start);
        EXPECT_EQ(data, c.data);
        EXPECT_EQ(error, u"");
        EXPECT_TRUE(c.waits ? ms >= 190 && ms < 1500 : ms < 190) << ms << " ms";
    }
}

TEST_F(ComDriver, WritesSendTheDelimiterWithoutCountingItOrEndAtTheTimeOut) {
    uint32_t h = OpenPty();
    EXPECT_EQ(Write(h, "*IDN?", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(n, 5);
    ASSERT_EQ(Set(h, u"DELIMITER", "END"), kStatusOk);
    EXPECT_EQ(Write(h, "x", 0), kStatusOk);
    EXPECT_EQ(Write(h, "y", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(pty.Receive(11, 1000), "*IDN?\rxyEND");

    // A line held back by XOFF: 200 ms plus 20000 / 115200 + 1 ms per byte.
    ASSERT_EQ(Set(h, u"BAUDRATE", "115200"), kStatusOk);
    ASSERT_EQ(Set(h, u"TIMEOUT", "200"), kStatusOk);
    ASSERT_EQ(Set(h, u"HANDSHAKE", "XON/XOFF"), kStatusOk);
    pty.Send("\x13");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = Clock::now();
    EXPECT_EQ(Write(h, "0123456789", kWriteAppendDelimiter), kStatusTransfer);
    const int64_t ms = MsSince(start);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(ms >= 200 && ms < 2000) << ms << " ms";
    EXPECT_EQ(error, u"");
    pty.Send("\x11");
    EXPECT_EQ(Write(h, "go", kWriteAppendDelimiter), kStatusOk);
    EXPECT_EQ(pty.Receive(5, 1000), "goEND");
}

TEST_F(ComDriver, ClearDropsTheReadAheadAndTheSystemQueue) {
    uint32_t h = OpenPty();
    ASSERT_EQ(Set(h, u"TIMEOUT", "300"), kStatusOk);
    pty.Send("stale answer\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Read(h, 2, 0), kStatusBufferFull);  // the rest waits in the read-ahead
    pty.Send("more\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // CLEAR writes no line setting: the port keeps what it had.
    const std::string line = pty.Line();
    EXPECT_EQ(Set(h, u"CLEAR", ""), kStatusOk);
    EXPECT_EQ(pty.Line(), line);
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusTransfer);  // nothing left: time-out
    EXPECT_EQ(n, 0);
    pty.Send("fresh\r");
    EXPECT_EQ(Read(h, 100, kReadStopAtDelimiter), kStatusDelimiter);
    EXPECT_EQ(data, "fresh");
    std::u16string value;
    for (const char16_t *name : {u"TRIGGER", u"LOCK", u"REMOTE", u"SRQ"})
        EXPECT_EQ(driver->ParamSet(h, name, u"1", &error), kStatusUnknownParam);
    EXPECT_EQ(driver->ParamGet(h, u"STB", &value, &error), kStatusUnknownParam);
}

TEST_F(ComDriver, AHungUpLineFailsTheTransfersAndStillCloses) {
    uint32_t h = OpenPty();
    ASSERT_EQ(Set(h, u"TIMEOUT", "5000"), kStatusOk);
    pty.Send("par");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.CloseMaster();

    const auto start = Clock::now();
    EXPECT_LT(Read(h, 100, kReadStopAtDelimiter), 0);
    EXPECT_FALSE(error.empty());
    EXPECT_LE(n, 3);
    error.clear();
    EXPECT_EQ(Read(h, 100, 0), kStatusTransfer);
    EXPECT_EQ(error, FormatText(kTextReceiveFailed, {SystemText(EIO)}));
    EXPECT_EQ(Write(h, "lost", 0), kStatusComWrite);
    EXPECT_EQ(n, 0);
    EXPECT_NE(A(error).find(">" + pty.SlavePath() + "<"), std::string::npos) << A(error);
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(driver->Close(h, &error), kStatusReleased);
}

}  // namespace

#endif
