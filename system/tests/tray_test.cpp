// Tray against the shell's real notification area, and the record it
// keeps between calls.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "system/qor_system.h"
#include "tests/support/common_test_support.h"
#include "tests/support/test_form.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::ErrorOf;
using testing::PropertyBag;
using testing::TestForm;
using testing::TrayHasIcon;

// An object whose only property is "Icon", holding `picture`.
PropertyBag IconSource(Variant picture) { return PropertyBag({{u"Icon", std::move(picture)}}); }
PropertyBag IconOf(HICON icon) { return IconSource(Variant(std::make_shared<Picture>(icon))); }

// A system icon by its number: 32512 the application, 32513 the error,
// 32515 the warning icon.
HICON StockIcon(int id) { return LoadIconW(nullptr, MAKEINTRESOURCEW(id)); }

UINT IdOf(HICON icon) { return static_cast<UINT>(reinterpret_cast<UINT_PTR>(icon)); }

std::string Tip(const TrayIconRecord& record) { return std::string(record.szTip, 64); }

TEST(TrayTest, AddsOneIconAndRemovesExactlyIt) {
  QorSystem system;
  TestForm menu;
  const HICON icon = StockIcon(32512);
  PropertyBag icon_source = IconOf(icon);

  system.Tray(kTrue, menu, icon_source, u"Orvane");
  const TrayIconRecord& record = system.tray_icon();
  EXPECT_EQ(record.cbSize, sizeof(TrayIconRecord));
  EXPECT_EQ(record.hWnd, menu.hWnd());
  EXPECT_EQ(record.uID, IdOf(icon));
  EXPECT_EQ(record.uFlags, 7u);
  EXPECT_EQ(record.uCallbackMessage, 0x200u);
  EXPECT_EQ(record.hIcon, icon);
  EXPECT_EQ(Tip(record), std::string("Orvane\0", 7) + std::string(57, ' '));
  EXPECT_TRUE(TrayHasIcon(menu.hWnd(), IdOf(icon)));

  // A second addition is refused; the first icon stays.
  system.Tray(kTrue, menu, icon_source, u"Orvane");
  EXPECT_TRUE(TrayHasIcon(menu.hWnd(), IdOf(icon)));

  // Another icon of the same window, added by someone else.
  NOTIFYICONDATAW other{};
  other.cbSize = NOTIFYICONDATAW_V1_SIZE;
  other.hWnd = menu.hWnd();
  other.uID = 7;
  other.uFlags = NIF_ICON;
  other.hIcon = StockIcon(32515);
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &other));

  // Neither a State other than true or false nor the arguments of a
  // removal change what is removed.
  TestForm stranger;
  PropertyBag stranger_icon = IconOf(StockIcon(32513));
  system.Tray(1, stranger, stranger_icon, u"other");
  EXPECT_TRUE(TrayHasIcon(menu.hWnd(), IdOf(icon)));
  system.Tray(kFalse, stranger, stranger_icon, u"other");
  EXPECT_FALSE(TrayHasIcon(menu.hWnd(), IdOf(icon))) << "one removal leaves no icon: there was one";
  EXPECT_TRUE(TrayHasIcon(menu.hWnd(), 7));
  EXPECT_EQ(system.tray_icon().hWnd, menu.hWnd());
  // The other icon goes with the test's prefix (a removal takes Wine's
  // shell two seconds).
}

TEST(TrayTest, TipIsCutTo64BytesAndMissingPropertiesKeepEarlierFields) {
  QorSystem system;
  TestForm menu;
  const HICON icon = StockIcon(32512);
  PropertyBag icon_source = IconOf(icon);
  // After the first, each addition is refused by the shell (the icon is
  // there), but the record is filled all the same.
  auto tip_of = [&](const std::u16string& title) {
    system.Tray(kTrue, menu, icon_source, title);
    return Tip(system.tray_icon());
  };

  EXPECT_EQ(tip_of(std::u16string(63, u'a')), std::string(63, 'a') + '\0');
  EXPECT_EQ(tip_of(std::u16string(64, u'b')), std::string(64, 'b')) << "no terminating zero";
  // In code page 936 each of these characters is two bytes.
  const std::string zhong = "\xD6\xD0";  // 中
  std::string expected;
  for (int i = 0; i < 32; ++i) expected += zhong;
  EXPECT_EQ(tip_of(std::u16string(40, u'中')), expected);
  // A double-byte character that does not fit whole is left out.
  expected = "x";
  for (int i = 0; i < 31; ++i) expected += zhong;
  EXPECT_EQ(tip_of(u"x" + std::u16string(40, u'中')), expected + ' ');

  // The record as the last addition left it.
  const TrayIconRecord before = system.tray_icon();
  auto unchanged_from = [&](const TrayIconRecord& earlier, size_t from_offset) {
    const auto* a = reinterpret_cast<const char*>(&earlier);
    const auto* b = reinterpret_cast<const char*>(&system.tray_icon());
    return std::memcmp(a + from_offset, b + from_offset, sizeof(TrayIconRecord) - from_offset) == 0;
  };

  TestForm other_menu;
  PropertyBag blank;  // no properties at all
  EXPECT_EQ(ErrorOf([&] { system.Tray(kTrue, blank, icon_source, u"t"); }), 438);
  EXPECT_TRUE(unchanged_from(before, 0));

  // "hwnd" is read, the "Icon" fetch fails: only hWnd is new.
  EXPECT_EQ(ErrorOf([&] { system.Tray(kTrue, other_menu, blank, u"t"); }), 438);
  EXPECT_EQ(system.tray_icon().hWnd, other_menu.hWnd());
  EXPECT_TRUE(unchanged_from(before, offsetof(TrayIconRecord, uID)));
  EXPECT_FALSE(TrayHasIcon(other_menu.hWnd(), IdOf(icon))) << "nothing was added";

  // A picture without "Handle" fails already for the identifier.
  PropertyBag no_handle = IconSource(Variant(std::make_shared<PropertyBag>()));
  EXPECT_EQ(ErrorOf([&] { system.Tray(kTrue, menu, no_handle, u"t"); }), 438);
  EXPECT_EQ(system.tray_icon().hWnd, menu.hWnd());
  EXPECT_TRUE(unchanged_from(before, offsetof(TrayIconRecord, uID)));
}

}  // namespace
}  // namespace orvane
