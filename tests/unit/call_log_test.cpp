// The call log file: compared byte for byte once, then as text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/texts.h"
#include "platform/platform.h"
#include "quvxvr.h"
#include "support/loop_driver.h"
#include "support/test_env.h"

namespace {

using xvr::test::ScopedXvrDir;

// What the log holds for these entries: UTF-16LE, BOM, CRLF line ends.
std::string LogBytes(const std::u16string &entries) {
    std::string out = "\xFF\xFE";
    auto put = [&](char16_t c) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    };
    for (char16_t c : entries) {
        if (c == u'\n') put(u'\r');
        put(c);
    }
    return out;
}

std::u16string Hex(const void *p) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
    return xvr::platform::AnsiToWide(buf);
}

std::u16string LogText(const ScopedXvrDir &dir) {
    std::string bytes = xvr::test::ReadFileBytes(dir.dir().path() / "XVR.log");
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        auto c = static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                       (static_cast<uint8_t>(bytes[i + 1]) << 8));
        if (c != u'\r') text.push_back(c);
    }
    return text;
}

class CallLogTest : public ::testing::Test {
protected:
    void SetUp() override { xvr::test::RegisterLoopDrivers(); }
    void TearDown() override {
        while (flXVRDeInit(0x01000000u) == XVR_OK) {
        }
    }
    ScopedXvrDir dir;
};

TEST_F(CallLogTest, EveryKindOfEntry) {
    dir.WriteParameterFile("[XVR]\r\nLogFunctions = yes\r\nLogData=YES\r\n");
    uint32_t module = 0, h = 0;
    ASSERT_EQ(flXVRInit(nullptr, &module, 100, 100), XVR_OK);
    ASSERT_EQ(flXVROpen(module, &h, "LOOP", "A"), XVR_OK);
    const uint8_t data[] = {0x41, 0x0D, 0xFF};
    int32_t len = 3;
    flXVRWrite(h, data, &len, 0);
    uint8_t buf[8] = {};
    len = 8;
    flXVRRead(h, buf, &len, 0);
    len = 2;
    flXVRRead(0x02000000u, buf, &len, 0);
    char value[16];
    flXVRParamGet(h, "TIMEOUT", value, sizeof value);
    flXVRParamSet(h, "DELIMITER", "\\0D");
    flXVRClose(h);
    uint32_t count = 0;
    flXVRDriverCountGet(module, &count);
    char text[16];
    flXVREnumGet(module, "COM", 0, text, sizeof text);
    flXVRParamSave();
    flXVRDeInit(0);
    flXVRDeInit(module);

    const std::u16string badHandle = xvr::LoadText(xvr::kTextBadHandle);
    const std::u16string expected =
        u"XVRInit: ActVersion = 100, MinVersion = 100\n"
        u"flXVROpen(0x1000000, 0x" +
        Hex(&h) +
        u", LOOP, A)\n  status = 0,       lXVRDeviceHandleP = 0x1010001\n  \n"
        u"flXVRWrite(0x1010001, 0x" +
        Hex(data) +
        u", 3, 0x0)\n  status = 0, written = 3\n  \n"
        u"  Data: 41 0D FF \n"
        u"flXVRRead(0x1010001, 0x" +
        Hex(buf) +
        u", 8, 0x0)\n  status = -6, read = 3\n  \n"
        u"  Data: 41 0D FF \n"
        u"flXVRRead(0x2000000, 0x" +
        Hex(buf) + u", 2, 0x0)\n  status = -3, read = 2\n  " + badHandle +
        u"\n"
        u"  Data: 41 0D \n"
        u"flXVRParamGet(0x1010001, TIMEOUT, 1000, 16)\n  status = 0, \n  \n"
        u"flXVRParamSet(0x1010001, DELIMITER, \\0D)\n  status = 0, \n  \n"
        u"flXVRClose(0x1010001)\n  status = 3, \n  \n"
        u"flXVRDriverCountGet(0x1000000, 0x" +
        xvr::platform::AnsiToWide([&] {
            char b[16];
            std::snprintf(b, sizeof b, "%x",
                          static_cast<unsigned>(reinterpret_cast<uintptr_t>(&count)));
            return std::string(b);
        }()) +
        u")\n        driverCount = 4\n        status = 0, \n  \n"
        u"flXVREnumGet(0x1000000, COM, 0, 0x" +
        Hex(text) +
        u")\n         enumText = COM1         status = 0, \n         \n"
        u"flXVRParamSave()\n  status = -17, \n  " +
        xvr::FormatText(xvr::kTextRetired, {u"flXVRParamSave"}) +
        u"\n"
        u"  " +
        badHandle +
        u"\n"
        u"XVRDeInit\n";
    EXPECT_EQ(xvr::test::ReadFileBytes(dir.dir().path() / "XVR.log"), LogBytes(expected));
}

TEST_F(CallLogTest, DataOnlyWritesJustTheDataLines) {
    dir.WriteParameterFile("[xvr]\nLogData=Yes\nLogFunctions=Y\n");
    uint32_t module = 0, h = 0;
    ASSERT_EQ(flXVRInit(nullptr, &module, 100, 100), XVR_OK);
    ASSERT_EQ(flXVROpen(module, &h, "LOOP", "A"), XVR_OK);
    const uint8_t data[] = {'h', 'i'};
    int32_t len = 2;
    // The delimiter 0A travels too, but the host gave 2 bytes.
    flXVRWrite(h, data, &len, XVR_WRITE_APPEND_DELIMITER);
    uint8_t buf[4];
    len = 4;
    flXVRRead(h, buf, &len, XVR_READ_STOP_AT_DELIMITER);
    flXVRClose(h);
    flXVRDeInit(module);
    EXPECT_EQ(LogText(dir), u"  Data: 68 69 \n  Data: 68 69 \n");
}

TEST_F(CallLogTest, OnlyTheFirstInitDecidesAndEmpties) {
    dir.WriteParameterFile("[XVR]\nLogFunctions=TRUE\n");
    uint32_t module = 0;
    ASSERT_EQ(flXVRInit(nullptr, &module, 100, 100), XVR_OK);
    flXVRDeInit(module);
    EXPECT_FALSE(std::filesystem::exists(dir.dir().path() / "XVR.log"));

    dir.WriteParameterFile("[XVR]\nLogFunctions=yes\n");
    xvr::test::WriteFileBytes(dir.dir().path() / "XVR.log", "old content");
    ASSERT_EQ(flXVRInit(nullptr, &module, 100, 101 - 1), XVR_OK);
    ASSERT_EQ(flXVRInit(nullptr, &module, 120, 90), XVR_OK);
    // Switching off in the file has no effect until the count is back at 0.
    dir.WriteParameterFile("[XVR]\nLogFunctions=no\n");
    flXVRDeInit(module);
    flXVRDeInit(module);
    EXPECT_EQ(LogText(dir),
              u"XVRInit: ActVersion = 100, MinVersion = 100\n"
              u"XVRInit: ActVersion = 120, MinVersion = 90\n"
              u"XVRDeInit\nXVRDeInit\n");
}

TEST_F(CallLogTest, UnwritableLogChangesNothing) {
    // The log path is a directory: entries are lost, statuses and texts are not.
    std::filesystem::create_directory(dir.dir().path() / "XVR.log");
    dir.WriteParameterFile("[XVR]\nLogFunctions=yes\n");
    uint32_t module = 0, h = 0;
    ASSERT_EQ(flXVRInit(nullptr, &module, 100, 100), XVR_OK);
    EXPECT_EQ(flXVROpen(module, &h, "LPT", "1"), XVR_ERR_UNKNOWN_DRIVER);
    char buf[256];
    flXVRErrorTextGet(0, buf, sizeof buf);
    EXPECT_NE(std::string(buf).find(">LPT<"), std::string::npos);
}

}  // namespace
