// The GPIB drivers through the exports, against the simulated bus library
// loaded by its ordinary name (libquviec.so / QUVIEC.DLL beside the tests).
// Transfers are the unit tests' part.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/texts.h"
#include "platform/platform.h"
#include "support/host_fixture.h"
#include "support/simbus_session.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;

class GpibHost : public xvr::test::InitializedHost {
protected:
    xvr::test::SimBusSession m_Sim;
};

TEST_F(GpibHost, KxGpibSharesAnAddressWhileEveryQuvOpenIsItsOwn) {
    m_Dir.WriteParameterFile("[Quv GPIB]\r\nINTERFACETYPE=PCI\r\nBASEADDRESS=2E0\r\n");
    uint32_t h[4] = {};
    const char *drivers[4] = {"KX GPIB", "kx gpib", "QUV GPIB", "quv gpib"};
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(Host().Open(kModule, &h[i], drivers[i], "Dev 7"), XVR_OK) << Host().ErrorText();
    EXPECT_EQ(h[0], h[1]);
    EXPECT_NE(h[2], h[3]);
    // Only the QUV driver reads the parameter file.
    EXPECT_EQ(m_Sim.Calls("iecCInit "),
              (std::vector<std::string>{"iecCInit 0 []", "iecCInit 1 [2E0]", "iecCInit 1 [2E0]"}));
    EXPECT_EQ(m_Sim.Calls("iecOpen ").size(), 3u);
    EXPECT_EQ(Host().Close(h[0]), XVR_OK);
    for (uint32_t handle : {h[0], h[2], h[3]}) EXPECT_EQ(Host().Close(handle), XVR_CLOSE_RELEASED);
    EXPECT_EQ(m_Sim.Calls("iecClose ").size(), 3u);
}

TEST_F(GpibHost, FailuresArriveWithTheirTexts) {
    uint32_t h = 0;
    EXPECT_EQ(Host().Open(kModule, &h, "QUV GPIB", " Dev 5"), XVR_ERR_BAD_ADDRESS);
    EXPECT_EQ(Host().ErrorText(),
              xvr::platform::WideToAnsi(xvr::LoadText(xvr::kTextBadGpibDevice)));
    EXPECT_NE(Host().ErrorText().find("\"Dev 0\" bis \"Dev30\""), std::string::npos);
    m_Sim.Configure("fail iecCInit");
    EXPECT_EQ(Host().Open(kModule, &h, "KX GPIB", "Dev 5"), XVR_ERR_VALUE_TOO_LONG);
}

// A host tells a time-out (-6 without a text) from every other failed
// transfer (-6 with one).
TEST_F(GpibHost, OnlyATimeOutFailsWithoutAText) {
    uint32_t h = 0;
    ASSERT_EQ(Host().Open(kModule, &h, "KX GPIB", "Dev 5"), XVR_OK) << Host().ErrorText();
    ASSERT_EQ(Host().ParamSet(h, "TIMEOUT", "100"), XVR_OK);
    const std::string outOfRange = xvr::platform::WideToAnsi(xvr::LoadText(xvr::kTextOutOfRange));
    std::vector<uint8_t> data(65536, 'x');
    int32_t length = static_cast<int32_t>(data.size());
    EXPECT_EQ(Host().Write(h, data.data(), &length, 0), XVR_ERR_TRANSFER);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(Host().ErrorText(), outOfRange);
    length = 4;
    EXPECT_EQ(Host().Read(h, nullptr, &length, 0), XVR_ERR_TRANSFER);
    EXPECT_EQ(Host().ErrorText(), outOfRange);
    length = static_cast<int32_t>(data.size());
    EXPECT_EQ(Host().Read(h, data.data(), &length, XVR_READ_STOP_AT_DELIMITER), XVR_ERR_TRANSFER);
    EXPECT_EQ(Host().ErrorText(), "");
    EXPECT_EQ(Host().Close(h), XVR_CLOSE_RELEASED);
}

}  // namespace
