// Runs in the native build and under Wine: both must agree byte for byte.
#include "system/code_page.h"

#include <gtest/gtest.h>

#include "tests/support/common_test_support.h"

namespace orvane {
namespace {

using testing::ErrorOf;
using testing::Gbk;

TEST(CodePageTest, ActivePageIsGbk) { EXPECT_EQ(Gbk().number(), 936u); }

TEST(CodePageTest, TextToGbkBytesAndBack) {
  const CodePage gbk = Gbk();
  EXPECT_EQ(gbk.ToBytes(u"C:\\测试\\a"), "C:\\\xB2\xE2\xCA\xD4\\a");
  EXPECT_EQ(gbk.FromBytes("C:\\\xB2\xE2\xCA\xD4\\a"), u"C:\\测试\\a");
  EXPECT_EQ(gbk.ToBytes(u""), "");
  EXPECT_EQ(gbk.FromBytes(""), u"");
  // An embedded zero is a character like any other.
  EXPECT_EQ(gbk.ToBytes(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  // A character GBK lacks becomes "?".
  EXPECT_EQ(gbk.ToBytes(u"x\u0E01y"), "x?y");
}

// Long texts go through the conversion in turns: every character must
// come out whole wherever a turn ends, double-byte ones and substitutes
// included.
TEST(CodePageTest, LongTextsConvertLikeTheirPieces) {
  const CodePage gbk = Gbk();
  for (const std::u16string piece : {u"a测", u"试\u0E01", u"测试x"}) {
    std::u16string text;
    std::string bytes;
    for (int i = 0; i < 700; ++i) {
      text += piece;
      bytes += gbk.ToBytes(piece);
    }
    EXPECT_EQ(gbk.ToBytes(text), bytes);
    EXPECT_EQ(gbk.FromBytes(bytes), gbk.FromBytes(gbk.ToBytes(text)));
    EXPECT_EQ(gbk.FromBytes(bytes).size(), text.size());
  }
  // A lead byte cut off at the end of a long text is one "?".
  const std::string cut = std::string(3000, 'x') + "\xB2";
  EXPECT_EQ(gbk.FromBytes(cut), std::u16string(3000, u'x') + u"?");
}

TEST(CodePageTest, CharacterCodes) {
  const CodePage gbk = Gbk();
  EXPECT_EQ(gbk.CharCode(u'A'), 65);
  EXPECT_EQ(gbk.CharCode(u'\0'), 0);
  EXPECT_EQ(gbk.CharCode(u'中'), -10544);   // D6 D0 as a signed 16-bit number
  EXPECT_EQ(gbk.CharCode(u'\u20AC'), 128);  // the euro sign, single byte 0x80
  EXPECT_EQ(gbk.CharCode(u'\u0E01'), 63);   // unmappable: "?"
}

TEST(CodePageTest, CodeToCharInvertsCharCode) {
  const CodePage gbk = Gbk();
  for (char16_t ch : std::u16string(u"A ~\u20AC中文路经"))
    EXPECT_EQ(gbk.CodeToChar(gbk.CharCode(ch)), std::u16string(1, ch));
  EXPECT_EQ(gbk.CodeToChar(0xD6D0), u"中");  // the unsigned form of the same code
}

TEST(CodePageTest, CodeToCharRefusesCodesThatAreNoCharacter) {
  const CodePage gbk = Gbk();
  EXPECT_EQ(ErrorOf([&] { gbk.CodeToChar(0x81); }), 5);    // a lone lead byte
  EXPECT_EQ(ErrorOf([&] { gbk.CodeToChar(0x4142); }), 5);  // two characters, "AB"
  EXPECT_EQ(ErrorOf([&] { gbk.CodeToChar(65536); }), 5);
  EXPECT_EQ(ErrorOf([&] { gbk.CodeToChar(-32769); }), 5);
  const CodePage western(1252);
  EXPECT_EQ(western.CodeToChar(0xE9), u"\u00E9");
  EXPECT_EQ(ErrorOf([&] { western.CodeToChar(300); }), 5);  // above 255, single-byte page
  EXPECT_EQ(ErrorOf([&] { western.CodeToChar(-10544); }), 5);
}

}  // namespace
}  // namespace orvane
