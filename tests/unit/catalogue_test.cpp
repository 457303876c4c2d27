// The driver catalogue through the exports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "quvxvr.h"

namespace {

constexpr uint32_t kModule = 0x01000000u;

std::string LastError() {
    char buf[1024];
    flXVRErrorTextGet(0, buf, sizeof buf);
    return buf;
}

TEST(Catalogue, DriverListAndNames) {
    uint32_t count = 99;
    EXPECT_EQ(flXVRDriverCountGet(kModule, &count), XVR_OK);
    EXPECT_EQ(count, 4u);
    count = 99;
    EXPECT_EQ(flXVRDriverCountGet(0, &count), XVR_ERR_BAD_HANDLE);
    EXPECT_EQ(count, 99u);
    // Any device handle passes the marker check.
    EXPECT_EQ(flXVRDriverCountGet(0x01230004u, &count), XVR_OK);

    const char *names[] = {"COM", "TCP/IP", "UDP", "KX GPIB"};
    char buf[16];
    for (uint32_t i = 0; i < 4; ++i) {
        ASSERT_EQ(flXVRDriverNameGet(kModule, i, buf, sizeof buf), XVR_OK);
        EXPECT_STREQ(buf, names[i]);
    }
    EXPECT_EQ(flXVRDriverNameGet(kModule, 3, buf, 8), XVR_OK);
    std::strcpy(buf, "junk");
    EXPECT_EQ(flXVRDriverNameGet(kModule, 3, buf, 7), XVR_ERR_NAME_TOO_LONG);
    EXPECT_STREQ(buf, "");
    std::strcpy(buf, "junk");
    EXPECT_EQ(flXVRDriverNameGet(kModule, 4, buf, sizeof buf), XVR_ERR_DRIVER_INDEX);
    EXPECT_STREQ(buf, "junk");
    // A size that is negative as a signed number is too small, never huge.
    EXPECT_EQ(flXVRDriverNameGet(kModule, 0, buf, 0x80000000u), XVR_ERR_NAME_TOO_LONG);
}

TEST(Catalogue, OpenParameters) {
    char buf[32];
    uint32_t type = 9, p1 = 9, p2 = 9;
    EXPECT_EQ(flXVRDriverParamGet(kModule, "UDP", buf, sizeof buf, &type, &p1, &p2), XVR_OK);
    EXPECT_STREQ(buf, "IP Address");
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(p1, 255u);
    EXPECT_EQ(p2, 0u);
    EXPECT_EQ(flXVRDriverParamGet(kModule, "QUV GPIB", buf, sizeof buf, &type, &p1, &p2), XVR_OK);
    EXPECT_STREQ(buf, "GPIB Device");
    EXPECT_EQ(type, 2u);
    EXPECT_EQ(p1, 30u);
    EXPECT_EQ(flXVRDriverParamGet(kModule, "COM", buf, sizeof buf, &type, &p1, &p2), XVR_OK);
    EXPECT_STREQ(buf, "COM Port");
    // Exact names only, and the failure zeroes every output.
    EXPECT_EQ(flXVRDriverParamGet(kModule, "udp", buf, sizeof buf, &type, &p1, &p2),
              XVR_ERR_UNKNOWN_DRIVER);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(type + p1 + p2, 0u);
    EXPECT_NE(LastError().find(">udp<"), std::string::npos);
    // Too small: the numbers are set, the text is not.
    EXPECT_EQ(flXVRDriverParamGet(kModule, "COM", buf, 8, &type, &p1, &p2), XVR_ERR_NAME_TOO_LONG);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(type, 2u);
}

TEST(Catalogue, EnumerationTexts) {
    char buf[16];
    struct Case {
        const char *driver;
        int32_t index;
        const char *text;
    };
    for (const Case &c : {Case{"COM", 0, "COM1"}, Case{"COM", 254, "COM255"},
                          Case{"KX GPIB", 0, "Dev 1"}, Case{"KX GPIB", 8, "Dev 9"},
                          Case{"QUV GPIB", 9, "Dev10"}, Case{"KX GPIB", 30, "Dev31"}}) {
        ASSERT_EQ(flXVREnumGet(kModule, c.driver, c.index, buf, sizeof buf), XVR_OK) << c.driver;
        EXPECT_STREQ(buf, c.text);
    }
    EXPECT_EQ(flXVREnumGet(kModule, "COM", 255, buf, sizeof buf), XVR_ERR_ENUM_INDEX);
    EXPECT_EQ(flXVREnumGet(kModule, "KX GPIB", 31, buf, sizeof buf), XVR_ERR_ENUM_INDEX);
    EXPECT_EQ(flXVREnumGet(kModule, "KX GPIB", -1, buf, sizeof buf), XVR_ERR_ENUM_INDEX);
    EXPECT_EQ(flXVREnumGet(kModule, "TCP/IP", 0, buf, sizeof buf), XVR_ERR_UNKNOWN_DRIVER);
    EXPECT_EQ(flXVREnumGet(kModule, "COM", 254, buf, 6), XVR_ERR_NAME_TOO_LONG);
    EXPECT_EQ(flXVREnumGet(0x02000000u, "COM", 0, buf, sizeof buf), XVR_ERR_BAD_HANDLE);
}

}  // namespace
