// The generator, PasswordSeed, Cipher and Decipher; native and under Wine.
#include <gtest/gtest.h>

#include <string>

#include "system/basic_random.h"
#include "system/qor_system.h"
#include "tests/support/common_test_support.h"

namespace orvane {
namespace {

using testing::ErrorOf;

// Runs first in this program (no other test draws before it): the
// generator's published first values from its start state.
TEST(BasicRandomTest, AFirstPublishedValues) {
  if (basic_random::State() != 0x50000) GTEST_SKIP() << "the generator has been used";
  for (const float expected : {0.7055475f, 0.533424f, 0.5795186f, 0.2895625f, 0.301948f}) {
    EXPECT_NEAR(basic_random::Draw(), expected, 5e-7);
  }
}

TEST(BasicRandomTest, PublishedValuesAfterResetAndReseed) {
  EXPECT_NEAR(basic_random::Draw(-1.0f), 0.22400701f, 5e-8);
  EXPECT_EQ(basic_random::State(), 0x395886u);
  EXPECT_NEAR(basic_random::Draw(-10.0f), 0.3276443f, 5e-7);
  basic_random::Reseed(10);
  for (const float expected : {0.2077829f, 0.4407803f, 0.6152623f}) {
    EXPECT_NEAR(basic_random::Draw(), expected, 5e-7);
  }
  EXPECT_NEAR(basic_random::Draw(-5.0f), 0.8383257f, 5e-7);
}

TEST(BasicRandomTest, OffsetIsTheSinglePrecisionProductForEveryState) {
  for (std::uint32_t m = 0; m < (1u << 24); ++m) {
    const float value = static_cast<float>(m) / 16777216.0f;
    // 96 * value in double is exact; rounding it to float is the product.
    // Stored through a volatile so that x87's excess precision (the i686
    // build) cannot keep the unrounded value.
    const volatile float product = static_cast<float>(96.0 * value);
    const auto expected = static_cast<std::int32_t>(product);
    if (basic_random::Offset96(value) != expected) {
      FAIL() << "state " << m;
    }
  }
}

TEST(CipherTest, RoundTripDropsNonPrintables) {
  QorSystem system(testing::Gbk());
  const std::u16string text = u"Hello, world!\r\n\tTab~ 中文 end";
  const std::u16string enciphered = system.Cipher(u"secret", text);
  EXPECT_EQ(enciphered.size(), std::u16string(u"Hello, world!Tab~  end").size());
  for (const char16_t ch : enciphered) {
    EXPECT_TRUE(ch >= 32 && ch <= 126) << int{ch};
  }
  EXPECT_EQ(system.Decipher(u"secret", enciphered), u"Hello, world!Tab~  end");
  EXPECT_NE(enciphered, u"Hello, world!Tab~  end");
}

TEST(CipherTest, RepeatableWhateverWasDrawnBefore) {
  QorSystem system(testing::Gbk());
  const std::u16string first = system.Cipher(u"pw", u"the same text");
  basic_random::Draw();
  basic_random::Draw(-3.0f);
  EXPECT_EQ(system.Cipher(u"pw", u"the same text"), first);
}

TEST(CipherTest, FirstPasswordCharacterHasNoInfluence) {
  QorSystem system(testing::Gbk());
  const std::u16string text = u"abcdefghij";
  EXPECT_EQ(system.Cipher(u"", text), system.Cipher(u"x", text));
  EXPECT_EQ(system.Cipher(u"", text), system.Cipher(u"中", text));
  EXPECT_EQ(system.Cipher(u"ab", text), system.Cipher(u"zb", text));
  EXPECT_NE(system.Cipher(u"ab", text), system.Cipher(u"ac", text));
  EXPECT_EQ(system.Cipher(u"pw", u""), u"");
  EXPECT_EQ(system.Cipher(u"pw", u"\r\n\t中文"), u"");
}

TEST(CipherTest, WrongPasswordGivesPrintableTextOfTheSameLength) {
  QorSystem system(testing::Gbk());
  const std::u16string enciphered = system.Cipher(u"right", u"some secret text");
  const std::u16string wrong = system.Decipher(u"wrong", enciphered);
  EXPECT_EQ(wrong.size(), enciphered.size());
  for (const char16_t ch : wrong) EXPECT_TRUE(ch >= 32 && ch <= 126);
}

TEST(CipherTest, LengthLimits) {
  QorSystem system(testing::Gbk());
  const std::u16string longest(32766, u'a');
  EXPECT_EQ(system.Decipher(u"p", system.Cipher(u"p", longest)), longest);
  EXPECT_EQ(system.Cipher(longest, u"x").size(), 1u);
  for (const std::size_t length : {32767u, 32768u}) {
    const std::u16string over(length, u'a');
    EXPECT_EQ(ErrorOf([&] { system.Cipher(u"p", over); }), 6) << length;
    EXPECT_EQ(ErrorOf([&] { system.Decipher(u"p", over); }), 6) << length;
    EXPECT_EQ(ErrorOf([&] { system.Cipher(over, u"x"); }), 6) << length;
  }
}

TEST(CipherTest, DoubleBytePasswordCharacterOnALargeShiftOverflows) {
  QorSystem system(testing::Gbk());
  // The sixth character has shift2 19: 中's code -10544 times 2^19 leaves
  // 32 bits.
  EXPECT_EQ(ErrorOf([&] { system.Cipher(u"abcde中", u"x"); }), 6);
  EXPECT_EQ(ErrorOf([&] { system.Cipher(u"abcdef", u"x"); }), 0);
}

}  // namespace
}  // namespace orvane
