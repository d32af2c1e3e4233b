// Encrypt and Decrypt; native and under Wine (code page 936).
#include <gtest/gtest.h>

#include <string>

#include "system/automation.h"
#include "system/qor_system.h"
#include "tests/support/common_test_support.h"

namespace orvane {
namespace {

using testing::ErrorOf;

TEST(EncryptionTest, ShiftsByPosition) {
  QorSystem system(testing::Gbk());
  EXPECT_EQ(system.Encrypt(Variant(u"abc")).ToText(), u"bdf");
  EXPECT_EQ(system.Decrypt(Variant(u"bdf")).ToText(), u"abc");
  EXPECT_EQ(system.Encrypt(Variant(u" ")).ToText(), u"!");
  EXPECT_EQ(system.Encrypt(Variant::Long(123)).ToText(), u"246");
  EXPECT_TRUE(system.Encrypt(Variant(u"")).IsEmpty());
  EXPECT_TRUE(system.Decrypt(Variant()).IsEmpty());
}

TEST(EncryptionTest, RoundTripsThroughDoubleByteCodes) {
  QorSystem system(testing::Gbk());
  // 中 is D6 D0; moved by 1 it is D6 D1, another character of the page.
  const Variant encrypted = system.Encrypt(Variant(u"中"));
  EXPECT_EQ(system.code_page_for_testing().ToBytes(encrypted.ToText()), "\xD6\xD1");
  EXPECT_EQ(system.Decrypt(encrypted).ToText(), u"中");
  const std::u16string text = u"Backup C:\\ to D:\\image 2026";
  EXPECT_EQ(system.Decrypt(system.Encrypt(Variant(text))).ToText(), text);
}

TEST(EncryptionTest, CodesThatAreNoCharacterRaise5) {
  QorSystem system(testing::Gbk());
  // "a" at position 98 goes below zero.
  EXPECT_EQ(ErrorOf([&] { system.Decrypt(Variant(std::u16string(98, u'a'))); }), 5);
  // 0x7F at position 2 becomes 0x81, a lone lead byte in 936.
  EXPECT_EQ(ErrorOf([&] { system.Encrypt(Variant(u"a\x7f")); }), 5);
  EXPECT_EQ(ErrorOf([&] { system.Encrypt(Variant::Null()); }), 13);
  EXPECT_EQ(ErrorOf([&] { system.Decrypt(Variant::Null()); }), 13);
}

}  // namespace
}  // namespace orvane
