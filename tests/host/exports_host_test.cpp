// The exports as a host sees them: the built library loaded at run time.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/texts.h"
#include "platform/platform.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;

constexpr uint32_t kModule = 0x01000000u;

// The text as the host receives it (ANSI code page / UTF-8).
std::string Expected(uint32_t id, std::initializer_list<xvr::FormatArg> args = {}) {
    return xvr::platform::WideToAnsi(xvr::FormatText(id, args));
}

TEST(Exports, InitChecksVersionsAndNests) {
    const auto &x = Host();
    uint32_t h = 5;
    EXPECT_EQ(x.Init(nullptr, &h, 99, 100), -1);
    EXPECT_EQ(x.Init(nullptr, &h, 100, 101), -2);
    EXPECT_EQ(h, 5u);
    EXPECT_EQ(x.Init(nullptr, &h, 100, 100), 0);
    EXPECT_EQ(h, kModule);
    EXPECT_EQ(x.DeInit(kModule), 0);
    EXPECT_EQ(x.DeInit(kModule), -3);
    EXPECT_EQ(x.ErrorText(), "");
    EXPECT_EQ(x.DeInit(0x02000000u), -3);
    EXPECT_EQ(x.ErrorText(), Expected(11007));
}

TEST(Exports, FailedOpensReportTheirTexts) {
    const auto &x = Host();
    xvr::test::ScopedXvrDir dir;
    uint32_t h = 1;
    EXPECT_EQ(x.Open(0, &h, "COM", "COM1"), -3);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(x.ErrorText(), Expected(11007));
    EXPECT_EQ(x.Open(kModule, &h, " lpt ", "1"), -9);
    EXPECT_EQ(h, kModule);
    EXPECT_EQ(x.ErrorText(), Expected(11008, {u"LPT"}));
    // The error text is cut to the buffer and always zero-terminated.
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(x.ErrorTextGet(0, small, sizeof small), 0);
    EXPECT_EQ(std::string(small), Expected(11008, {u"LPT"}).substr(0, 7));
}

TEST(Exports, BadHandlesAndBufferRules) {
    const auto &x = Host();
    char value[16];
    std::strcpy(value, "junk");
    EXPECT_EQ(x.ParamGet(0x01050001u, "TIMEOUT", value, sizeof value), -3);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(x.ErrorText(), Expected(11007));
    value[0] = 'x';
    EXPECT_EQ(x.ParamGet(0x01050001u, "TIMEOUT", value, 0), -12);
    EXPECT_EQ(value[0], 'x');
    EXPECT_EQ(x.ErrorText(), Expected(11009));
    uint8_t buf[4];
    int32_t len = 4;
    EXPECT_EQ(x.Read(0x01010001u, buf, &len, 0), -3);
    EXPECT_EQ(x.Write(0x01010001u, buf, &len, 0), -3);
    EXPECT_EQ(x.Close(0), -3);
    EXPECT_EQ(x.ParamSet(0x01010001u, "TIMEOUT", "1"), -3);
}

TEST(Exports, CatalogueAndRetiredCalls) {
    const auto &x = Host();
    uint32_t count = 0;
    EXPECT_EQ(x.DriverCountGet(kModule, &count), 0);
    EXPECT_EQ(count, 4u);
    char name[8];
    EXPECT_EQ(x.DriverNameGet(kModule, 3, name, sizeof name), 0);
    EXPECT_STREQ(name, "KX GPIB");
    EXPECT_EQ(x.DriverNameGet(kModule, 4, name, sizeof name), -8);
    EXPECT_EQ(x.ErrorText(), Expected(11023));
    char param[32];
    uint32_t type, p1, p2;
    EXPECT_EQ(x.DriverParamGet(kModule, "TCP/IP", param, sizeof param, &type, &p1, &p2), 0);
    EXPECT_STREQ(param, "IP Address");
    EXPECT_EQ(x.EnumGet(kModule, "KX GPIB", 0, param, sizeof param), 0);
    EXPECT_STREQ(param, "Dev 1");
    EXPECT_EQ(x.EnumGet(kModule, "COM", 0, param, 4), -19);
    EXPECT_EQ(x.ErrorText(), Expected(11009));
    EXPECT_EQ(x.DeviceConfig(), -17);
    EXPECT_EQ(x.ErrorText(), Expected(11010, {u"flXVRDeviceConfig"}));
    EXPECT_EQ(x.ParamSave(), -17);
    EXPECT_EQ(x.ErrorText(), Expected(11010, {u"flXVRParamSave"}));
    EXPECT_EQ(x.ParamLoad(), -17);
    EXPECT_EQ(x.ErrorText(), Expected(11010, {u"flXVRParamLoad"}));
}

TEST(Exports, CallLogIsWrittenBesideTheParameterFile) {
    const auto &x = Host();
    xvr::test::ScopedXvrDir dir;
    dir.WriteParameterFile("[XVR]\r\nLogFunctions=Yes\r\n");
    uint32_t module = 0;
    ASSERT_EQ(x.Init(nullptr, &module, 100, 100), 0);
    EXPECT_EQ(x.ParamLoad(), -17);
    EXPECT_EQ(x.DeInit(module), 0);
    std::string bytes = xvr::test::ReadFileBytes(dir.dir().path() / "XVR.log");
    std::string expected = std::string("\xFF\xFE", 2);
    for (char c : std::string("XVRInit: ActVersion = 100, MinVersion = 100\r\nflXVRParamLoad()\r\n")) {
        expected.push_back(c);
        expected.push_back('\0');
    }
    EXPECT_EQ(bytes.substr(0, expected.size()), expected);
}

}  // namespace
