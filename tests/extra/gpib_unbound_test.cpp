// Run where the first bus library lacks iecDeinit and the second is missing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/texts.h"
#include "platform/platform.h"
#include "support/simbus_session.h"
#include "support/test_env.h"

namespace {

using xvr::test::Host;

TEST(GpibUnbound, RefusedBusLibrariesReachTheHostWithTheirTexts) {
    xvr::test::ScopedXvrDir dir;
    xvr::test::SimBusSession sim;
    uint32_t module = 0, h = 0;
    ASSERT_EQ(Host().Init(nullptr, &module, 100, 100), XVR_OK);
    auto text = [](uint32_t id, std::u16string library) {
        return xvr::platform::WideToAnsi(
            xvr::FormatText(id, {xvr::platform::LibraryFileName(library), u""}));
    };

    EXPECT_EQ(Host().Open(module, &h, "QUV GPIB", "Dev 5"), XVR_ERR_OPEN_FAILED);
    EXPECT_EQ(Host().ErrorText(), text(xvr::kTextDllUnsuitable, u"QUVIEC.DLL"));
    EXPECT_EQ(h, 0u);
    // Refused at once: loaded, never called, unloaded.
    EXPECT_EQ(sim.Calls(), (std::vector<std::string>{"load", "unload"}));

    EXPECT_EQ(Host().Open(module, &h, "KX GPIB", "Dev 5"), XVR_ERR_OPEN_FAILED);
    const std::string head = text(xvr::kTextDllLoadFailed, u"QUVIEC2.DLL");
    EXPECT_EQ(Host().ErrorText().substr(0, head.size()), head);
    EXPECT_EQ(Host().DeInit(module), XVR_OK);
}

}  // namespace
