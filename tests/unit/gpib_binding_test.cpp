// Binding the bus library: loading, initialisation with the parameter-file
// settings, and every entry point failing in turn.  A library lacking an
// entry point is refused in tests/extra/gpib_unbound_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/gpib/gpib_driver.h"
#include "frame/texts.h"
#include "platform/platform.h"
#include "support/simbus_session.h"
#include "support/test_env.h"

namespace xvr {
namespace {

using test::SimBusSession;

constexpr uint32_t kFrameBits = 0x01010000;

int32_t OpenDev(CXVR_GPIB *driver, const std::u16string &address, std::u16string *error,
                uint32_t *handle = nullptr) {
    uint32_t h = kFrameBits;
    int32_t status = driver->Open(&h, address, -1, error);
    if (handle) *handle = h;
    return status;
}

TEST(GpibBindingTest, ParameterFileSettingsReachTheInterfaceInitialisation) {
    struct Case {
        const char *file;  // nullptr: no parameter file
        const char *init;
    } cases[] = {
        {nullptr, "iecCInit 0 [840]"},
        {"[Quv GPIB]\nINTERFACETYPE=isa\nBASEADDRESS=0x2E0\n", "iecCInit 1 [0x2E0]"},
        {"[quv gpib]\ninterfacetype=rV2\nBASEADDRESS=123456789\n", "iecCInit 0 [1234567]"},
        {"[Quv GPIB]\nINTERFACETYPE=RV2X\n", "iecCInit 1 [840]"},
        {"[Quv GPIB]\nINTERFACETYPE=\nBASEADDRESS=\n", "iecCInit 1 []"},
        {"[XVR]\nLogFunctions=No\n", "iecCInit 0 [840]"},
    };
    for (const Case &c : cases) {
        test::ScopedXvrDir dir;
        if (c.file) dir.WriteParameterFile(c.file);
        SimBusSession sim;
        CXVR_QuvGPIB driver(u"Quv GPIB");
        driver.m_sLibraryFile = u"QUVIEC.DLL";
        driver.ReadSettings();
        std::u16string error;
        ASSERT_EQ(OpenDev(&driver, u"Dev 1", &error), kStatusOk) << platform::WideToAnsi(error);
        EXPECT_EQ(sim.Calls("iecCInit "), std::vector<std::string>{c.init})
            << (c.file ? c.file : "(no file)");
    }
}

TEST(GpibBindingTest, EachEntryPointFailingInTurn) {
    struct Case {
        const char *entry;
        int32_t open, write, read;
        int32_t readLength;
    } cases[] = {
        {"iecCInit", -12, 0, 0, 0},
        {"iecOpen", kStatusOpenFailed, 0, 0, 0},
        {"iecSend", kStatusOk, kStatusTransfer, kStatusTransfer, 0},
        {"iecEnter", kStatusOk, kStatusOk, kStatusTransfer, 0},
        // Results the driver does not look at change nothing.
        {"iecParameter", kStatusOk, kStatusOk, kStatusDelimiter, 21},
        {"iecCTrigger", kStatusOk, kStatusOk, kStatusDelimiter, 21},
        {"iecClose", kStatusOk, kStatusOk, kStatusDelimiter, 21},
        {"iecDeinit", kStatusOk, kStatusOk, kStatusDelimiter, 21},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        SimBusSession sim;
        sim.Configure(std::string("fail ") + c.entry);
        CXVR_KXGPIB driver(u"KX GPIB");
        driver.m_sLibraryFile = u"QUVIEC2.DLL";
        std::u16string error;
        uint32_t h = 0;
        ASSERT_EQ(OpenDev(&driver, u"Dev 5", &error, &h), c.open);
        if (c.open != kStatusOk) {
            EXPECT_EQ(error, LoadText(c.open == -12 ? kTextGpibInitFailed : kTextCannotOpen));
            EXPECT_FALSE(driver.HasOpenDevices());
            continue;
        }
        ASSERT_EQ(driver.ParamSet(h, u"TIMEOUT", u"100", &error), kStatusOk);
        int32_t length = 6;
        EXPECT_EQ(driver.Write(h, reinterpret_cast<const uint8_t *>("*IDN?\r"), &length, 0, &error),
                  c.write);
        uint8_t buffer[64];
        length = sizeof buffer;
        EXPECT_EQ(driver.Read(h, buffer, &length, kReadStopAtDelimiter, &error), c.read);
        EXPECT_EQ(length, c.readLength);
        EXPECT_EQ(driver.ParamSet(h, u"TRIGGER", u"", &error), kStatusOk);
        EXPECT_EQ(driver.Close(h, &error), kStatusReleased);
        EXPECT_FALSE(driver.HasOpenDevices());
        EXPECT_TRUE(sim.Calls("iecDeinit").empty());
    }
}

TEST(GpibBindingTest, AMissingLibraryIsNamedAndTheNextOpenTriesAgain) {
    SimBusSession sim;
    CXVR_KXGPIB driver(u"KX GPIB");
    driver.m_sLibraryFile = u"QUVIEC_ABSENT.DLL";
    std::u16string error;
    EXPECT_EQ(OpenDev(&driver, u"Dev 5", &error), kStatusOpenFailed);
    const std::u16string head = FormatText(
        kTextDllLoadFailed, {platform::LibraryFileName(u"QUVIEC_ABSENT.DLL"), u""});
    EXPECT_EQ(error.substr(0, head.size()), head);
    EXPECT_GT(error.size(), head.size());  // the system's reason follows

    driver.m_sLibraryFile = u"QUVIEC2.DLL";
    EXPECT_EQ(OpenDev(&driver, u"Dev 5", &error), kStatusOk) << platform::WideToAnsi(error);
}

TEST(GpibBindingTest, AFailedInitialisationLeavesNothingBoundAndIsRetried) {
    SimBusSession sim;
    sim.Configure("fail iecCInit");
    CXVR_KXGPIB driver(u"KX GPIB");
    driver.m_sLibraryFile = u"QUVIEC2.DLL";
    std::u16string error;
    EXPECT_EQ(OpenDev(&driver, u"Dev 5", &error), -12);
    EXPECT_FALSE(driver.IsBound());
    sim.Configure("");
    EXPECT_EQ(OpenDev(&driver, u"Dev 5", &error), kStatusOk);
    EXPECT_EQ(OpenDev(&driver, u"Dev 6", &error), kStatusOk);
    EXPECT_EQ(sim.Calls("iecCInit ").size(), 2u);
}

}  // namespace
}  // namespace xvr
