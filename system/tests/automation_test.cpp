#include "system/automation.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/common_test_support.h"

namespace orvane {
namespace {

using testing::ErrorOf;

TEST(VariantTest, TextFormOfEachKind) {
  EXPECT_EQ(Variant().ToText(), u"");
  EXPECT_EQ(Variant::Integer(-12).ToText(), u"-12");
  EXPECT_EQ(Variant::Long(-268435456).ToText(), u"-268435456");
  EXPECT_EQ(Variant(10.5).ToText(), u"10.5");
  EXPECT_EQ(Variant::Boolean(true).ToText(), u"True");
  EXPECT_EQ(Variant(u"中 x").ToText(), u"中 x");
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToText(); }), 13);
  EXPECT_EQ(ErrorOf([] { Variant(std::make_shared<testing::PropertyBag>()).ToText(); }), 13);
}

TEST(VariantTest, NumbersRoundHalvesToEven) {
  EXPECT_EQ(Variant(105.0 / 10).ToLong(), 10);
  EXPECT_EQ(Variant(11.5).ToLong(), 12);
  EXPECT_EQ(Variant(-2.5).ToLong(), -2);
  EXPECT_EQ(Variant(u" 42 ").ToLong(), 42);
  EXPECT_EQ(Variant().ToLong(), 0);
  EXPECT_EQ(Variant::Boolean(true).ToLong(), -1);
  EXPECT_EQ(ErrorOf([] { Variant(2147483647.5).ToLong(); }), 6);
  EXPECT_EQ(ErrorOf([] { Variant(u"4x").ToLong(); }), 13);
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToLong(); }), 13);
  // A product is rounded to a double before it is rounded to an integer,
  // also where the x87 computes it in extended precision (the i686 build):
  // 0.15 * 10 is 1.4999999999999999444... exactly, and 1.5 as a double.
  volatile double points = 0.15;
  EXPECT_EQ(Variant(points * 10).ToLong(), 2);
}

TEST(VariantTest, KindsAreDistinctValues) {
  EXPECT_NE(Variant::Integer(-1), Variant::Boolean(true));
  EXPECT_NE(Variant::Integer(5), Variant::Long(5));
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_EQ(Variant(u"a"), Variant(u"a"));
  EXPECT_TRUE(Variant().IsEmpty());
  EXPECT_EQ(ErrorOf([] { Variant(u"a").ToObject(); }), 13);
}

TEST(SameNameTest, IgnoresAsciiCaseOnly) {
  EXPECT_TRUE(SameName(u"hWnd", u"HWND"));
  EXPECT_FALSE(SameName(u"hWnd", u"hWnd2"));
  EXPECT_FALSE(SameName(u"ä", u"Ä"));
}

}  // namespace
}  // namespace orvane
