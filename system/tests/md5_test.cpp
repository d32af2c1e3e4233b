// Md5 and its word routines; runs in the native build and under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/qor_system.h"
#include "tests/support/common_test_support.h"

namespace orvane {

struct QorSystemPrivateAccess {
  static std::int32_t ShiftLeft32(QorSystem& s, std::int32_t v, std::int32_t b) {
    return s.ShiftLeft32(v, b);
  }
  static std::int32_t ShiftRight32(QorSystem& s, std::int32_t v, std::int32_t b) {
    return s.ShiftRight32(v, b);
  }
  static std::int32_t RotateLeft32(QorSystem& s, std::int32_t v, std::int32_t b) {
    return s.RotateLeft32(v, b);
  }
  static std::int32_t WrapAdd32(QorSystem& s, std::int32_t x, std::int32_t y) {
    return s.WrapAdd32(x, y);
  }
  static std::vector<std::int32_t> TextToWords(QorSystem& s, const std::u16string& text) {
    return s.TextToWords(text);
  }
  static std::u16string WordToHexLE(QorSystem& s, std::int32_t w) { return s.WordToHexLE(w); }
};

namespace {

using Access = QorSystemPrivateAccess;

using testing::ErrorOf;

std::int32_t W(std::uint32_t pattern) { return static_cast<std::int32_t>(pattern); }

TEST(Md5Test, Rfc1321Suite) {
  QorSystem system(testing::Gbk());
  const std::int32_t full = 32;
  EXPECT_EQ(system.Md5(u"", full), u"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(system.Md5(u"a", full), u"0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(system.Md5(u"abc", full), u"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(system.Md5(u"message digest", full), u"f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(system.Md5(u"abcdefghijklmnopqrstuvwxyz", full), u"c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(system.Md5(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", full),
            u"d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(system.Md5(u"1234567890123456789012345678901234567890"
                       u"1234567890123456789012345678901234567890",
                       full),
            u"57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Test, ShortFormAndOtherTypes) {
  QorSystem system(testing::Gbk());
  EXPECT_EQ(system.Md5(u"abc", 16), u"3cd24fb0d6963f7d");
  EXPECT_EQ(system.Md5(u"", 16), u"8f00b204e9800998");
  for (const std::int32_t stype : {0, 1, 64, -32}) {
    EXPECT_EQ(system.Md5(u"abc", stype), u"") << stype;
  }
}

TEST(Md5Test, BlockBoundaryAt56Characters) {
  QorSystem system(testing::Gbk());
  const std::u16string text55(55, u'a');
  const std::u16string text56(56, u'a');
  EXPECT_EQ(Access::TextToWords(system, text55).size(), 16u);
  EXPECT_EQ(Access::TextToWords(system, text56).size(), 32u);
  EXPECT_EQ(system.Md5(text55, 32), u"ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(system.Md5(text56, 32), u"3b0c8ac703f828b04c6c197006d17218");
}

TEST(Md5Test, DoubleByteCharacterFoldsIntoItsWord) {
  QorSystem system(testing::Gbk());
  const std::vector<std::int32_t> words = Access::TextToWords(system, u"中");
  ASSERT_EQ(words.size(), 16u);
  EXPECT_EQ(words[0], W(0xFFFFD6D0));
  EXPECT_EQ(words[14], 8);
  for (std::size_t i = 1; i < 16; ++i) {
    if (i != 14) {
      EXPECT_EQ(words[i], 0) << i;
    }
  }
  EXPECT_EQ(system.Md5(u"中", 32), u"6cba308f8d5f2b49971dbb43879a078c");
}

// Whole blocks are read straight from the text and the rest through
// TextToWords: both paths, with a double-byte character inside a whole
// block (its lead byte and sign bits fold over the next byte only).
TEST(Md5Test, TextsOfManyBlocks) {
  QorSystem system(testing::Gbk());
  const auto printable = [](std::size_t length) {
    std::u16string text(length, u' ');
    for (std::size_t i = 0; i < length; ++i)
      text[i] = static_cast<char16_t>(32 + (i * 7 + i / 95) % 95);
    return text;
  };
  EXPECT_EQ(system.Md5(printable(128), 32), u"ac65cbe2d5bab67b5b5a90df4049f308");
  EXPECT_EQ(system.Md5(printable(1000), 32), u"c13bcbaaa2dc95e2852751ab830e3e07");
  const std::u16string mixed = std::u16string(70, u'a') + u"中" + std::u16string(60, u'b');
  EXPECT_EQ(system.Md5(mixed, 32), u"52d9db42ecd67e7d8ff4a2f5f7b0cfdd");
}

// Where the packed whole blocks meet the character-at-a-time words and
// the tail: a double-byte character ending or starting a whole block, one
// whose sign bits cover the padding byte of a two-block tail, a
// single-byte character above ASCII (the euro sign, 0x80) in a text of
// exactly one block, and a tail of two blocks after a whole block.
TEST(Md5Test, CharactersAtBlockEdges) {
  QorSystem system(testing::Gbk());
  const auto text = [](std::size_t before, std::u16string ch, std::size_t after, char16_t fill) {
    return std::u16string(before, fill) + ch + std::u16string(after, fill);
  };
  EXPECT_EQ(system.Md5(text(63, u"中", 36, u'a'), 32), u"07ca43abd7948ac411c5782d724246b2");
  EXPECT_EQ(system.Md5(text(64, u"中", 65, u'a'), 32), u"c39d0bcb9a8a68822ba973bb33d96942");
  EXPECT_EQ(system.Md5(text(121, u"中", 0, u'c'), 32), u"b485f7fec4897ba44ba0536267eb80d2");
  EXPECT_EQ(system.Md5(text(10, u"€", 53, u'a'), 32), u"5eca46253a8d23b683ff1fff006f3412");
  EXPECT_EQ(system.Md5(std::u16string(120, u'x'), 32), u"fb98667f98096de92620b64f46e1c5b5");
}

TEST(Md5Test, WordRoutines) {
  QorSystem system(testing::Gbk());
  EXPECT_EQ(Access::ShiftLeft32(system, 1, 31), W(0x80000000));
  EXPECT_EQ(Access::ShiftLeft32(system, W(0xC0000001), 1), W(0x80000002));
  EXPECT_EQ(Access::ShiftLeft32(system, 5, 0), 5);
  EXPECT_EQ(Access::ShiftRight32(system, W(0x80000000), 31), 1);
  EXPECT_EQ(Access::ShiftRight32(system, W(0x80000010), 4), W(0x08000001));
  EXPECT_EQ(Access::RotateLeft32(system, W(0x80000001), 4), 0x18);
  EXPECT_EQ(Access::WrapAdd32(system, W(0xFFFFFFFF), 2), 1);
  EXPECT_EQ(Access::WrapAdd32(system, 0x40000000, 0x40000000), W(0x80000000));
  EXPECT_EQ(Access::WordToHexLE(system, 0x0A0B0C0D), u"0D0C0B0A");
  for (const std::int32_t bits : {-1, 32}) {
    EXPECT_EQ(ErrorOf([&] { Access::ShiftLeft32(system, 1, bits); }), 6);
    EXPECT_EQ(ErrorOf([&] { Access::ShiftRight32(system, 1, bits); }), 6);
  }
  EXPECT_EQ(ErrorOf([&] { Access::RotateLeft32(system, 1, 0); }), 6);
  EXPECT_EQ(ErrorOf([&] { Access::RotateLeft32(system, 1, 32); }), 6);
}

}  // namespace
}  // namespace orvane
