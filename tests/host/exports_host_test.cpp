// What only the built library can get wrong: its exports, its own string
// table (the Windows STRINGTABLE) and its call log.  Behaviour behind the
// exports is covered by the unit tests.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "base/texts.h"
#include "platform/platform.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;

constexpr uint32_t kModule = 0x01000000u;

// The text as the host receives it (ANSI code page / UTF-8).
std::string Expected(uint32_t id, std::initializer_list<xvr::FormatArg> args = {}) {
    return xvr::platform::WideToAnsi(xvr::FormatText(id, args));
}

TEST(Exports, TextsComeFromTheLibrarysOwnTable) {
    const auto &x = Host();
    uint32_t h = 1;
    EXPECT_EQ(x.Open(kModule, &h, " lpt ", "1"), XVR_ERR_UNKNOWN_DRIVER);
    EXPECT_EQ(x.ErrorText(), Expected(11008, {u"LPT"}));
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(x.ErrorTextGet(0, small, sizeof small), XVR_OK);
    EXPECT_EQ(std::string(small), Expected(11008, {u"LPT"}).substr(0, 7));

    char value[16];
    EXPECT_EQ(x.ParamGet(0x01050001u, "TIMEOUT", value, sizeof value), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(x.ErrorText(), Expected(11007));
    EXPECT_EQ(x.ParamGet(0x01050001u, "TIMEOUT", value, 0), XVR_ERR_VALUE_TOO_LONG);
    EXPECT_EQ(x.ErrorText(), Expected(11009));
    EXPECT_EQ(x.DriverNameGet(kModule, 4, value, sizeof value), XVR_ERR_DRIVER_INDEX);
    EXPECT_EQ(x.ErrorText(), Expected(11023));
    EXPECT_EQ(x.ParamSave(), XVR_ERR_RETIRED);
    EXPECT_EQ(x.ErrorText(), Expected(11010, {u"flXVRParamSave"}));
    // 11019 carries four inner quotes, 11015 none: both survive the table.
    EXPECT_EQ(x.Open(kModule, &h, "KX GPIB", "GPIB0"), XVR_ERR_BAD_ADDRESS);
    EXPECT_EQ(x.ErrorText(), Expected(11019));
    EXPECT_EQ(x.Open(kModule, &h, "TCP/IP", "localhost"), XVR_ERR_BAD_ADDRESS);
    EXPECT_EQ(x.ErrorText(), Expected(11015));
}

TEST(Exports, InitAndCatalogueAnswerAcrossTheBoundary) {
    const auto &x = Host();
    uint32_t module = 5, count = 0;
    EXPECT_EQ(x.Init(nullptr, &module, 99, 100), XVR_ERR_VERSION_TOO_OLD);
    EXPECT_EQ(x.Init(nullptr, &module, 100, 101), XVR_ERR_VERSION_TOO_NEW);
    EXPECT_EQ(module, 5u);
    ASSERT_EQ(x.Init(nullptr, &module, 100, 100), XVR_OK);
    EXPECT_EQ(module, kModule);
    EXPECT_EQ(x.DriverCountGet(module, &count), XVR_OK);
    EXPECT_EQ(count, 4u);
    char text[16];
    EXPECT_EQ(x.EnumGet(module, "KX GPIB", 0, text, sizeof text), XVR_OK);
    EXPECT_STREQ(text, "Dev 1");
    EXPECT_EQ(x.DeInit(module), XVR_OK);
}

TEST(Exports, CallLogIsWrittenBesideTheParameterFile) {
    const auto &x = Host();
    xvr::test::ScopedXvrDir dir;
    dir.WriteParameterFile("[XVR]\r\nLogFunctions=Yes\r\n");
    uint32_t module = 0;
    ASSERT_EQ(x.Init(nullptr, &module, 100, 100), XVR_OK);
    EXPECT_EQ(x.ParamLoad(), XVR_ERR_RETIRED);
    EXPECT_EQ(x.DeInit(module), XVR_OK);
    std::string expected = "\xFF\xFE";
    for (char c :
         std::string("XVRInit: ActVersion = 100, MinVersion = 100\r\nflXVRParamLoad()\r\n")) {
        expected.push_back(c);
        expected.push_back('\0');
    }
    EXPECT_EQ(xvr::test::ReadFileBytes(dir.dir().path() / "XVR.log").substr(0, expected.size()),
              expected);
}

#ifndef _WIN32
// A parameter file that is a FIFO or a device reads as if it held no key:
// Init and the opens that consult the file neither hang nor read a device
// whole.  (A hang ends at the test's time limit.)
TEST(Exports, AParameterFileThatIsNoRegularFileHoldsNoKey) {
    const auto &x = Host();
    xvr::test::ScopedXvrDir dir;
    const auto path = dir.dir().path() / "XVR.XVR";
    for (bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "FIFO" : "/dev/zero");
        std::filesystem::remove(path);
        if (fifo) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        } else {
            std::filesystem::create_symlink("/dev/zero", path);
        }
        uint32_t module = 0, h = 0;
        ASSERT_EQ(x.Init(nullptr, &module, 100, 100), XVR_OK);
        EXPECT_EQ(x.Open(module, &h, "COM", "COM99"), XVR_ERR_NOT_FOUND);
        EXPECT_EQ(x.Open(module, &h, "QUV GPIB", "Dev 5"), XVR_OK) << x.ErrorText();
        EXPECT_EQ(x.Close(h), XVR_CLOSE_RELEASED);
        EXPECT_EQ(x.DeInit(module), XVR_OK);
        EXPECT_FALSE(std::filesystem::exists(dir.dir().path() / "XVR.log"));
    }
}
#endif

}  // namespace
