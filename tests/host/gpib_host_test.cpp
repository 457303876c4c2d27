// The GPIB drivers through the exports, against the simulated bus library
// loaded by its ordinary name (libquviec.so / QUVIEC.DLL beside the tests).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/texts.h"
#include "platform/platform.h"
#include "support/simbus_session.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;

constexpr uint32_t kModule = 0x01000000u;

std::string Expected(uint32_t id, std::initializer_list<xvr::FormatArg> args = {}) {
    return xvr::platform::WideToAnsi(xvr::FormatText(id, args));
}

class GpibHost : public ::testing::Test {
protected:
    void SetUp() override {
        uint32_t module = 0;
        ASSERT_EQ(Host().Init(nullptr, &module, 100, 100), 0);
    }
    void TearDown() override { Host().DeInit(kModule); }

    uint32_t OpenOk(const char *driver, const char *address) {
        uint32_t h = 0;
        EXPECT_EQ(Host().Open(kModule, &h, driver, address), 0) << Host().ErrorText();
        return h;
    }
    int32_t Write(uint32_t h, const std::string &data, uint32_t flags) {
        int32_t length = static_cast<int32_t>(data.size());
        return Host().Write(h, reinterpret_cast<const uint8_t *>(data.data()), &length, flags);
    }
    int32_t Read(uint32_t h, std::string *data, uint32_t flags) {
        uint8_t buffer[256];
        int32_t length = sizeof buffer;
        int32_t status = Host().Read(h, buffer, &length, flags);
        data->assign(reinterpret_cast<char *>(buffer), length > 0 ? length : 0);
        return status;
    }

    xvr::test::ScopedXvrDir m_Dir;
    xvr::test::SimBusSession m_Sim;
};

TEST_F(GpibHost, QuvGpibQueriesAnInstrumentWithTheConfiguredInterface) {
    m_Dir.WriteParameterFile("[Quv GPIB]\r\nINTERFACETYPE=PCI\r\nBASEADDRESS=2E0\r\n");
    uint32_t h = OpenOk("quv gpib", "dev5");
    EXPECT_EQ(m_Sim.Calls("iecCInit "), std::vector<std::string>{"iecCInit 1 [2E0]"});

    ASSERT_EQ(Write(h, "*IDN?", 2), 0);
    std::string answer;
    EXPECT_EQ(Read(h, &answer, 1), 2);
    EXPECT_EQ(answer, "XVR-SIMBUS,DEV5,0,1.0");

    EXPECT_EQ(Host().ParamSet(h, "TRIGGER", ""), 0);
    EXPECT_EQ(m_Sim.Calls("iecCTrigger"), std::vector<std::string>{"iecCTrigger 5"});
    EXPECT_EQ(Host().Close(h), 3);
    EXPECT_EQ(Host().Close(h), -3);
    EXPECT_EQ(Host().ErrorText(), Expected(xvr::kTextBadHandle));
}

TEST_F(GpibHost, KxGpibSharesAnAddressWhileEveryQuvOpenIsItsOwn) {
    uint32_t a = OpenOk("KX GPIB", "Dev 7");
    uint32_t b = OpenOk("KX GPIB", "DEV 7");
    EXPECT_EQ(a, b);
    uint32_t q1 = OpenOk("QUV GPIB", "Dev 7");
    uint32_t q2 = OpenOk("QUV GPIB", "Dev 7");
    EXPECT_NE(q1, q2);
    EXPECT_EQ(m_Sim.Calls("iecOpen ").size(), 3u);
    // Two libraries, the QUV one initialised once per driver object.
    EXPECT_EQ(m_Sim.Calls("iecCInit ").size(), 3u);

    EXPECT_EQ(Host().Close(a), 0);
    EXPECT_EQ(Host().Close(b), 3);
    EXPECT_EQ(Host().Close(q1), 3);
    EXPECT_EQ(Host().Close(q2), 3);
    EXPECT_EQ(m_Sim.Calls("iecClose ").size(), 3u);
}

TEST_F(GpibHost, FailuresArriveWithTheirTexts) {
    uint32_t h = 0;
    EXPECT_EQ(Host().Open(kModule, &h, "QUV GPIB", " Dev 5"), -16);
    EXPECT_EQ(Host().ErrorText(), Expected(xvr::kTextBadGpibDevice));
    EXPECT_NE(Host().ErrorText().find("\"Dev 0\" bis \"Dev30\""), std::string::npos);

    m_Sim.Configure("fail iecCInit");
    EXPECT_EQ(Host().Open(kModule, &h, "KX GPIB", "Dev 5"), -12);
    EXPECT_EQ(Host().ErrorText(), Expected(xvr::kTextGpibInitFailed));
    m_Sim.Configure("fail iecSend");
    h = OpenOk("KX GPIB", "Dev 5");
    EXPECT_EQ(Write(h, "*IDN?", 2), -6);
    EXPECT_EQ(Host().Close(h), 3);
}

}  // namespace
