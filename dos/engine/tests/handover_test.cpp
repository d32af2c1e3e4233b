#include "dos/engine/handover.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::dos {
namespace {

constexpr char kTicket[] =
    "[Orvane]\r\nJob=BF\r\nImage=E:\\Backup\\2026-12-8-XP.GHO\r\nSerial=1A2B-3C4D\r\n"
    "ShortPath=\\BACKUP\\2026-1~1.GHO\r\nBootAttributes=39\r\n";

TEST(Ticket, ReadsEveryFieldAndRefusesAnIncompleteOne) {
  Ticket t;
  ASSERT_TRUE(ParseTicket(kTicket, sizeof kTicket - 1, &t));
  EXPECT_STREQ(t.job, "BF");
  EXPECT_STREQ(t.image, "E:\\Backup\\2026-12-8-XP.GHO");
  EXPECT_EQ(t.serial, 0x1A2B3C4Du);
  EXPECT_STREQ(t.short_path, "\\BACKUP\\2026-1~1.GHO");
  EXPECT_EQ(t.boot_attributes, 39);

  const std::string lf =
      "[Orvane]\nJob=hf\nImage=D:\\A.GHO\nSerial=0000-00ff\nShortPath=\\A.GHO\n"
      "BootAttributes=0";
  ASSERT_TRUE(ParseTicket(lf.data(), lf.size(), &t));
  EXPECT_STREQ(t.job, "HF");
  EXPECT_EQ(t.serial, 0xFFu);

  for (const std::string& broken :
       {std::string(kTicket).substr(0, sizeof kTicket - 20),  // no BootAttributes
        std::string("[Other]") + (kTicket + 8),               // not our section
        std::string(kTicket).replace(std::string(kTicket).find("1A2B"), 4, "1G2B"),
        std::string(kTicket).replace(std::string(kTicket).find("=BF"), 3, "=XF"),
        std::string(kTicket).replace(std::string(kTicket).find("=39"), 3, "=99999"),
        std::string(kTicket) + "Image=" + std::string(300, 'x') + "\r\n"}) {
    EXPECT_FALSE(ParseTicket(broken.data(), broken.size(), &t)) << broken;
  }
}

TEST(Ticket, MatchesItsJobAndImageWhateverTheAsciiCase) {
  Ticket t;
  ASSERT_TRUE(ParseTicket(kTicket, sizeof kTicket - 1, &t));
  EXPECT_TRUE(TicketMatches(t, "BF", "e:\\BACKUP\\2026-12-8-xp.gho"));
  EXPECT_FALSE(TicketMatches(t, "HF", "E:\\Backup\\2026-12-8-XP.GHO"));
  EXPECT_FALSE(TicketMatches(t, "BF", "E:\\Backup\\2026-12-8-XP.GH"));
  // GBK: the second byte of 備 is 'f' (0x66) and must not match 'F'.
  EXPECT_TRUE(SamePath("D:\\\xB2\x66.GHO", "d:\\\xB2\x66.gho"));
  EXPECT_FALSE(SamePath("D:\\\xB2\x66.GHO", "D:\\\xB2\x46.GHO"));
}

std::string Normal(const std::string& menu, size_t capacity = 1024) {
  std::string out(capacity, '\0');
  out.resize(ComposeNormalMenu(menu.data(), menu.size(), out.data(), capacity));
  return out;
}

TEST(NormalMenu, TheDosMenuBecomesTheWindowsMenu) {
  const std::string dos =
      "[boot loader]\r\ntimeout = 0\r\ndefault=C:\\\r\n[operating systems]\r\n"
      "C:\\=\"Microsoft Windows\"\r\n"
      "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP Professional\" "
      "/fastdetect\r\n";
  const std::string windows =
      "[boot loader]\r\ntimeout = 0\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
      "[operating systems]\r\n"
      "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP Professional\" "
      "/fastdetect\r\nC:\\=\"Microsoft Windows\"\r\n";
  EXPECT_TRUE(DefaultIsDos(dos.data(), dos.size()));
  EXPECT_FALSE(DefaultIsDos(windows.data(), windows.size()));
  EXPECT_EQ(Normal(dos), windows);
  EXPECT_EQ(Normal(dos).size(), 220u);
  EXPECT_EQ(Normal(dos, 219), "") << "what does not fit is not cut";
}

TEST(NormalMenu, KeepsTheUsersOtherEntriesAndOptions) {
  const std::string menu =
      "[boot loader]\ntimeout=30\ndefault=c:\\\n[operating systems]\nc:\\=\"DOS\"\n"
      "multi(0)disk(0)rdisk(0)partition(2)\\WINNT=\"Windows 2000\" /noexecute=optin\n"
      "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\"\n";
  EXPECT_EQ(Normal(menu),
            "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(2)\\WINNT\r\n"
            "[operating systems]\r\n"
            "multi(0)disk(0)rdisk(0)partition(2)\\WINNT=\"Windows 2000\" /noexecute=optin\r\n"
            "c:\\=\"DOS\"\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\"\r\n");

  // Without a Windows entry: the standard menu, which boots Windows.
  const std::string standard = Normal("[boot loader]\r\ndefault=C:\\\r\n");
  EXPECT_EQ(standard.find("default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"), 28u);
  EXPECT_EQ(Normal(""), standard);
}

TEST(JobLines, OnlyTheJobsCommandLeavesTheBatch) {
  char out[256];
  size_t length = 0;
  const std::string job = "@Echo Off\r\nPath=C:\\ORVANE\r\nSmartdrv\r\nBF G:\\Backup\\a.GHO";
  ASSERT_TRUE(WithoutJobLines(job.data(), job.size(), out, sizeof out, &length));
  EXPECT_EQ(std::string(out, length), "@Echo Off\r\nPath=C:\\ORVANE\r\nSmartdrv\r\n");

  // In any case, after blanks or "@", alone on its line; a command that
  // only starts with the same letters stays.
  const std::string mixed = "bff.exe\r\n  @ hf d:\\x.gho\r\nHF\nREM BF x\r\nhfind /s\r\n";
  ASSERT_TRUE(WithoutJobLines(mixed.data(), mixed.size(), out, sizeof out, &length));
  EXPECT_EQ(std::string(out, length), "bff.exe\r\nREM BF x\r\nhfind /s\r\n");

  const std::string only = "BF D:\\X.GHO\r\n";
  ASSERT_TRUE(WithoutJobLines(only.data(), only.size(), out, sizeof out, &length));
  EXPECT_EQ(length, 0u);

  // Nothing to leave out, or no room for the rest: nothing to write back.
  const std::string user = "@echo off\r\nprompt $p$g\r\n";
  EXPECT_FALSE(WithoutJobLines(user.data(), user.size(), out, sizeof out, &length));
  EXPECT_FALSE(WithoutJobLines(job.data(), job.size(), out, 10, &length));
}

}  // namespace
}  // namespace orvane::dos
