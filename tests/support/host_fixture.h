// Host tests: the library initialised around each test, with an empty
// parameter directory of its own.
#pragma once

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace xvr::test {

class InitializedHost : public ::testing::Test {
protected:
    static constexpr uint32_t kModule = XVR_MODULE_HANDLE;
    void SetUp() override {
        uint32_t module = 0;
        ASSERT_EQ(Host().Init(nullptr, &module, XVR_INTERFACE_VERSION, XVR_INTERFACE_VERSION),
                  XVR_OK);
    }
    void TearDown() override { Host().DeInit(kModule); }

    ScopedXvrDir m_Dir;
};

}  // namespace xvr::test
