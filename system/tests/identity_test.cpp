// GetID everywhere; the volume and name operations under Wine.
#include <gtest/gtest.h>

#include <string>

#include "system/qor_system.h"
#include "tests/support/common_test_support.h"

namespace orvane {
namespace {

TEST(GetIdTest, DigitsOfOneReading) {
  QorSystem system(testing::Gbk());
  int readings = 0;
  LocalTime moment{2026, 12, 7, 3, 5, 9};
  system.set_clock([&] {
    ++readings;
    return moment;
  });
  EXPECT_EQ(system.GetID(), u"2026127359");
  EXPECT_EQ(readings, 1);
  moment = {2026, 1, 1, 0, 0, 0};
  EXPECT_EQ(system.GetID(), u"202611000");
  moment = {2026, 12, 31, 23, 59, 59};
  EXPECT_EQ(system.GetID(), u"20261231235959");
  moment = {2026, 1, 11, 1, 0, 0};
  const std::u16string january = system.GetID();
  moment = {2026, 11, 1, 1, 0, 0};
  EXPECT_EQ(system.GetID(), january);
  EXPECT_EQ(january, u"2026111100");
}

#ifdef _WIN32
TEST(IdentityTest, ComputerNameIsCached) {
  QorSystem system;
  const std::u16string first = system.GetComputer();
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(system.GetComputer(), first);
}

TEST(IdentityTest, MissingDriveGivesZeroAndSerialIsUpperCase) {
  QorSystem system;
  EXPECT_EQ(system.GetDiskSn(u"Q").ToText(), u"0");
  EXPECT_EQ(system.GetDiskSn(u"C:").ToText(), u"0");
  const std::u16string serial = system.GetSerial();
  ASSERT_EQ(serial.size(), 24u);
  for (const char16_t ch : serial) {
    EXPECT_TRUE((ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'F'));
  }
  std::u16string expected = system.Md5(system.GetDiskSn(u"C").ToText(), 32).substr(0, 24);
  for (char16_t& ch : expected) {
    if (ch >= u'a') ch = static_cast<char16_t>(ch - 32);
  }
  EXPECT_EQ(serial, expected);
}
#endif

}  // namespace
}  // namespace orvane
