// The device list every driver keeps: numbers, reuse, sharing and its limit.
#include <gtest/gtest.h>

#include <memory>

#include "drivers/device_list.h"
#include "drivers/device_settings.h"
#include "base/status.h"
#include "base/texts.h"

namespace {

using namespace xvr;

struct Record : CXVR_DeviceSettings {
    Record() : CXVR_DeviceSettings(0x0D) { m_lOpenCount = 1; }
};

TEST(DeviceList, AllSixteenBitNumbersAndNoMore) {
    DeviceList<Record> list;
    std::u16string error;
    for (uint32_t i = 1; i <= 0xFFFF; ++i)
        ASSERT_EQ(list.Insert(std::make_unique<Record>(), &error), i);
    EXPECT_FALSE(list.HasRoom(&error));
    EXPECT_EQ(error, LoadText(kTextCannotOpen));
    error.clear();
    EXPECT_EQ(list.Insert(std::make_unique<Record>(), &error), 0);
    EXPECT_EQ(error, LoadText(kTextCannotOpen));
    // Freeing one number makes room, and the lowest free number comes back.
    int released = 0;
    EXPECT_EQ(list.Close(0x01000123u, &error, [&](Record &) { ++released; }), kStatusReleased);
    EXPECT_EQ(released, 1);
    error.clear();
    EXPECT_TRUE(list.HasRoom(&error));
    EXPECT_EQ(list.Insert(std::make_unique<Record>(), &error), 0x123);
    EXPECT_EQ(list.Size(), 0xFFFFu);
}

TEST(DeviceList, FreedNumbersComeBackLowestFirst) {
    DeviceList<Record> list;
    std::u16string error;
    for (uint32_t i = 1; i <= 10; ++i)
        ASSERT_EQ(list.Insert(std::make_unique<Record>(), &error), i);
    for (uint32_t n : {9u, 2u, 5u}) ASSERT_EQ(list.Close(n, &error, [](Record &) {}), 3);
    for (uint32_t n : {2u, 5u, 9u, 11u})
        EXPECT_EQ(list.Insert(std::make_unique<Record>(), &error), n);
}

TEST(DeviceList, SharingKeysFindTheOpenRecordOnly) {
    DeviceList<Record> list;
    std::u16string error;
    uint16_t number = 0;
    ASSERT_EQ(list.Insert(std::make_unique<Record>(), &error), 1);  // never shared
    ASSERT_EQ(list.Insert(std::make_unique<Record>(), &error, u"COM3"), 2);
    EXPECT_EQ(list.FindShared(u"COM3", &number), list.Find(2, &error));
    EXPECT_EQ(number, 2);
    EXPECT_EQ(list.FindShared(u"com3", &number), nullptr);
    EXPECT_EQ(list.FindShared(std::nullopt, &number), nullptr);

    // The key goes with the record's last close; a new record of the key
    // takes the lowest free number, and a record without a key is not found.
    ASSERT_EQ(list.Close(2, &error, [](Record &) {}), 3);
    EXPECT_EQ(list.FindShared(u"COM3", &number), nullptr);
    ASSERT_EQ(list.Close(1, &error, [](Record &) {}), 3);
    ASSERT_EQ(list.Insert(std::make_unique<Record>(), &error, u"COM3"), 1);
    EXPECT_EQ(list.FindShared(u"COM3", &number), list.Find(1, &error));
    EXPECT_EQ(number, 1);
    EXPECT_TRUE(list.Any());
    EXPECT_EQ(list.Size(), 2u);
}

TEST(DeviceList, ClosesCountOpensAndRefuseUnknownNumbers) {
    DeviceList<Record> list;
    std::u16string error;
    ASSERT_EQ(list.Insert(std::make_unique<Record>(), &error), 1);
    list.Find(1, &error)->m_lOpenCount = 2;
    int released = 0;
    auto release = [&](Record &) { ++released; };
    EXPECT_EQ(list.Close(1, &error, release), kStatusOk);
    EXPECT_EQ(released, 0);
    EXPECT_EQ(list.Close(1, &error, release), kStatusReleased);
    EXPECT_EQ(released, 1);
    EXPECT_FALSE(list.Any());
    for (uint32_t handle : {0u, 1u, 2u, 0x01010000u}) {
        error.clear();
        EXPECT_EQ(list.Close(handle, &error, release), kStatusBadHandle);
        EXPECT_EQ(error, LoadText(kTextNotOpen));
    }
    // A record whose count is already 0 is not closed again.
    ASSERT_EQ(list.Insert(std::make_unique<Record>(), &error), 1);
    list.Find(1, &error)->m_lOpenCount = 0;
    EXPECT_EQ(list.Close(1, &error, release), kStatusBadAddress);
    EXPECT_EQ(released, 1);
}

}  // namespace
