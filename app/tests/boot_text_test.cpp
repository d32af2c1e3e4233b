#include "app/boot_text.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

const std::u16string kHead = u"[boot loader]\r\ntimeout = 0\r\n";

TEST(GetMenuTest, DosMenuStartsDosAndNamesTheSystem) {
  const std::u16string menu = GetMenu(u"Dos", u"XP");
  EXPECT_EQ(menu, kHead +
                      u"default=C:\\\r\n"
                      u"[operating systems]\r\n"
                      u"C:\\=\"Microsoft Windows\"\r\n"
                      u"multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS="
                      u"\"Microsoft Windows XP Professional\" /fastdetect\r\n");
  EXPECT_EQ(menu.size(), 180u);
}

TEST(GetMenuTest, WindowsMenuListsWindowsFirst) {
  EXPECT_EQ(GetMenu(u"Windows", u"2003"),
            kHead +
                u"default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
                u"[operating systems]\r\n"
                u"multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS="
                u"\"Windows Server 2003, Enterprise\" /fastdetect\r\n"
                u"C:\\=\"Microsoft Windows\"\r\n");
}

TEST(GetMenuTest, LengthsOfEveryMenuAndName) {
  struct Case {
    const char16_t* menu;
    const char16_t* name;
    size_t length;
  };
  const Case cases[] = {
      {u"Dos", u"XP", 180},     {u"Dos", u"2003", 178},     {u"Dos", u"", 147},
      {u"Windows", u"XP", 220}, {u"Windows", u"2003", 218}, {u"Windows", u"Vista", 187},
      {u"dos", u"XP", 28},      {u"", u"XP", 28},           {u"WINDOWS", u"2003", 28},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetMenu(c.menu, c.name).size(), c.length)
        << "menu \"" << std::string(c.menu, c.menu + std::char_traits<char16_t>::length(c.menu))
        << "\"";
}

TEST(GetMenuTest, UnknownOrLowerCaseNameGivesEmptyLabel) {
  for (const char16_t* name : {u"", u"xp", u"Xp", u"其他"}) {
    const std::u16string menu = GetMenu(u"Dos", name);
    EXPECT_TRUE(menu.ends_with(u"\\WINDOWS=\"\" /fastdetect\r\n"));
    EXPECT_EQ(menu.size(), 147u);
  }
}

TEST(ConfigSysTextTest, OneLineNamingHimemInTheProgramFolder) {
  EXPECT_EQ(ConfigSysText(u"D:\\Tools"), u"DEVICE=D:\\Tools\\HIMEM.SYS");
  // A drive root keeps its backslash, so two stand before HIMEM.SYS.
  EXPECT_EQ(ConfigSysText(u"D:\\"), u"DEVICE=D:\\HIMEM.SYS") << "a root has its backslash";
}

}  // namespace
}  // namespace orvane
