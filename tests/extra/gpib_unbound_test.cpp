// Run where the first bus library lacks iecDeinit and the second is missing.
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

std::string Expected(uint32_t id, std::initializer_list<xvr::FormatArg> args) {
    return xvr::platform::WideToAnsi(xvr::FormatText(id, args));
}

TEST(GpibUnbound, RefusedBusLibrariesReachTheHostWithTheirTexts) {
    xvr::test::ScopedXvrDir dir;
    xvr::test::SimBusSession sim;
    uint32_t module = 0;
    ASSERT_EQ(Host().Init(nullptr, &module, 100, 100), 0);

    uint32_t h = 0;
    EXPECT_EQ(Host().Open(kModule, &h, "QUV GPIB", "Dev 5"), -4);
    EXPECT_EQ(Host().ErrorText(),
              Expected(xvr::kTextDllUnsuitable, {xvr::platform::LibraryFileName(u"QUVIEC.DLL")}));
    EXPECT_EQ(h, 0u);
    // Refused at once: loaded, never called, unloaded.
    EXPECT_EQ(sim.Calls(), (std::vector<std::string>{"load", "unload"}));

    EXPECT_EQ(Host().Open(kModule, &h, "KX GPIB", "Dev 5"), -4);
    const std::string head =
        Expected(xvr::kTextDllLoadFailed, {xvr::platform::LibraryFileName(u"QUVIEC2.DLL"), u""});
    EXPECT_EQ(Host().ErrorText().substr(0, head.size()), head);

    // Each attempt starts afresh.
    EXPECT_EQ(Host().Open(kModule, &h, "QUV GPIB", "Dev 5"), -4);
    EXPECT_EQ(sim.Calls().size(), 4u);
    EXPECT_EQ(Host().DeInit(kModule), 0);
}

}  // namespace
