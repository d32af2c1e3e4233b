// What the DOS services make of DOS's answers, against a simulated INT 21h:
// a drive's layout and free space from the FAT32 calls where DOS has them,
// the old ones where it does not, and nothing where the answer is no file
// system; the current drive; the packed date and time.
#include <gtest/gtest.h>
#include <string.h>

#include <optional>

#include "dos/rm/dos_api.h"
#include "dos/rm/tests/fake_machine.h"

namespace orvane::dos::rm {
namespace {

using fake::machine;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) { Put16(p, v), Put16(p + 2, v >> 16); }

// A DOS 4+ DPB of a FAT16 volume: 512-byte sectors, 4 per cluster, 1
// reserved, 2 FATs of 64 sectors, 512 root entries (32 sectors).
std::vector<uint8_t> Fat16Dpb() {
  std::vector<uint8_t> d(0x21);
  d[0] = 2;  // C:
  Put16(&d[0x02], 512);
  d[0x04] = 3;  // sectors per cluster - 1
  d[0x05] = 2;
  Put16(&d[0x06], 1);
  d[0x08] = 2;
  Put16(&d[0x09], 512);
  Put16(&d[0x0B], 1 + 2 * 64 + 32);
  Put16(&d[0x0D], 16000);
  Put16(&d[0x0F], 64);
  return d;
}

struct FakeDos {
  uint16_t version = 0x070A;  // 7.10, which has the FAT32 calls
  bool fat32_calls = true;
  bool dosbox_dpb = false;    // AH=32h points at a table of drive numbers
  uint8_t current_drive = 2;  // as AH=19h gives it: 0 = A:

  struct Date {
    uint16_t year;
    uint8_t month, day;
  } date{2024, 2, 29};
  struct Time {
    uint8_t hour, minute, second, hundredths;
  } time{13, 37, 59, 99};
  // When set, each AH=2Ah and AH=2Ch finds the clock a hundredth of a
  // second on, and at midnight the date becomes this day.
  std::optional<Date> next_day;

  void Tick() {
    if (!next_day || ++time.hundredths < 100) return;
    time.hundredths = 0;
    if (++time.second < 60) return;
    time.second = 0;
    if (++time.minute < 60) return;
    time.minute = 0;
    if (++time.hour < 24) return;
    time.hour = 0;
    date = *next_day;
  }

  void Int21(Regs& r) {
    const uint16_t ax = r.ax;
    if (ax == 0x3306) {
      r.ebx = (version >> 8) | ((version & 0xFF) << 8);  // BL major, BH minor
      return;
    }
    if (ax == 0x7302 || ax == 0x7303) {
      if (!fat32_calls) {
        r.eax = 0x7300;  // AL=00h: unknown function, carry clear
        return;
      }
      uint8_t* out = machine().Pointer(r.es, r.edi & 0xFFFF);
      ASSERT_NE(out, nullptr);
      if (ax == 0x7302) {
        EXPECT_EQ(r.edx & 0xFF, 3u);
        EXPECT_GE(r.ecx & 0xFFFF, 0x3Fu);
        // A FAT32 volume: 8 sectors a cluster, 32 reserved, 2 FATs of 5000
        // sectors, data from sector 10032, clusters up to 600001.
        uint8_t* dpb = out + 2;
        memset(dpb, 0, 0x3D);
        Put16(dpb + 0x02, 512);
        dpb[0x04] = 7;
        Put16(dpb + 0x06, 32);
        dpb[0x08] = 2;
        Put32(dpb + 0x29, 10032);
        Put32(dpb + 0x2D, 600001);
        Put32(dpb + 0x31, 5000);
      } else {
        EXPECT_STREQ(reinterpret_cast<const char*>(machine().Pointer(r.ds, r.edx & 0xFFFF)),
                     "C:\\");
        Put16(out, 0x2C);
        Put32(out + 0x04, 8);
        Put32(out + 0x08, 512);
        Put32(out + 0x0C, 450000);
        Put32(out + 0x10, 600000);
      }
      return;
    }
    switch (r.ah) {
      case 0x32:
        r.eax = 0;
        r.ds = dosbox_dpb ? 0x0060 : 0x0070;
        r.ebx = 0x0100;
        return;
      case 0x36:
        r.eax = 4, r.ebx = 12000, r.ecx = 512, r.edx = 15999;
        return;
      case 0x30:
        r.eax = (version >> 8) | ((version & 0xFF) << 8);
        return;
      case 0x19:
        r.al = current_drive;
        return;
      case 0x2A:
        Tick();
        r.cx = date.year, r.dh = date.month, r.dl = date.day;
        r.al = 4;  // the day of the week
        return;
      case 0x2C:
        Tick();
        r.ch = time.hour, r.cl = time.minute, r.dh = time.second, r.dl = time.hundredths;
        return;
    }
    ADD_FAILURE() << "INT 21h AX=" << std::hex << ax;
  }
};

class DosDrives : public testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    machine().interrupt = [this](uint8_t number, Regs& r) {
      ASSERT_EQ(number, 0x21);
      dos_.Int21(r);
    };
    machine().far[0x0800] = Fat16Dpb();
    // What DOSBox's AH=32h points at for C: (seen under DOSBox 0.74).
    std::vector<uint8_t> dosbox(0x18);
    for (size_t i = 0; i < dosbox.size(); ++i) dosbox[i] = static_cast<uint8_t>(2 + i);
    machine().far[0x0700] = dosbox;
  }
  FakeDos dos_;
};

TEST_F(DosDrives, ParamsComeFromTheExtendedDpbTheDpbOrNotAtAll) {
  DriveParams p;
  ASSERT_TRUE(DosDriveParams(3, &p));
  EXPECT_EQ(p.bytes_per_sector, 512);
  EXPECT_EQ(p.sectors_per_cluster, 8);
  EXPECT_EQ(p.reserved_sectors, 32);
  EXPECT_EQ(p.fat_count, 2);
  EXPECT_EQ(p.first_data_sector, 10032u);
  EXPECT_EQ(p.highest_cluster, 600001u);
  EXPECT_EQ(p.sectors_per_fat, 5000u);

  dos_.fat32_calls = false;
  dos_.version = 0x0616;
  p = DriveParams{};
  ASSERT_TRUE(DosDriveParams(3, &p));
  EXPECT_EQ(p.bytes_per_sector, 512);
  EXPECT_EQ(p.sectors_per_cluster, 4);
  EXPECT_EQ(p.reserved_sectors, 1);
  EXPECT_EQ(p.fat_count, 2);
  EXPECT_EQ(p.first_data_sector, 161u);
  EXPECT_EQ(p.highest_cluster, 16000u);
  EXPECT_EQ(p.sectors_per_fat, 64u);

  dos_.dosbox_dpb = true;
  EXPECT_FALSE(DosDriveParams(3, &p));
}

TEST_F(DosDrives, SpaceComesFromTheExtendedCallOrAh36) {
  DriveSpace s;
  ASSERT_TRUE(DosDriveSpace(3, &s));
  EXPECT_EQ(s.bytes_per_cluster, 4096u);
  EXPECT_EQ(s.free_clusters, 450000u);
  EXPECT_EQ(s.total_clusters, 600000u);

  dos_.fat32_calls = false;
  ASSERT_TRUE(DosDriveSpace(3, &s));
  EXPECT_EQ(s.bytes_per_cluster, 2048u);
  EXPECT_EQ(s.free_clusters, 12000u);
  EXPECT_EQ(s.total_clusters, 15999u);
}

TEST_F(DosDrives, TheCurrentDriveIsNumberedAsTheDriveCallsTakeIt) {
  dos_.current_drive = 0;
  EXPECT_EQ(DosCurrentDrive(), 1);  // A:
  // C: (AH=19h's 2): the root AX=7303h is asked about is "C:\".
  dos_.current_drive = 2;
  DriveSpace s;
  ASSERT_TRUE(DosDriveSpace(DosCurrentDrive(), &s));
  EXPECT_EQ(s.total_clusters, 600000u);
}

class DosClock : public DosDrives {};

TEST_F(DosClock, DateAndTimePackFromTheYear1980InTwoSecondSteps) {
  uint16_t date = 0, time = 0;
  DosDateTime(&date, &time);  // 2024-02-29 13:37:59.99
  EXPECT_EQ(date, 0x585D);    // 44 << 9 | 2 << 5 | 29
  EXPECT_EQ(time, 0x6CBD);    // 13 << 11 | 37 << 5 | 29

  dos_.date = {1980, 1, 1};
  dos_.time = {0, 0, 1, 50};
  DosDateTime(&date, &time);
  EXPECT_EQ(date, 0x0021);
  EXPECT_EQ(time, 0x0000);

  dos_.date = {2099, 12, 31};
  dos_.time = {23, 59, 58, 0};
  DosDateTime(&date, &time);
  EXPECT_EQ(date, 0xEF9F);  // 119 << 9 | 12 << 5 | 31
  EXPECT_EQ(time, 0xBF7D);  // 23 << 11 | 59 << 5 | 29
}

TEST_F(DosClock, AMidnightAmongTheCallsGivesOneDaysDateWithItsTime) {
  // Midnight falls after the three calls, or at the first, second or third.
  for (uint8_t hundredths : {96, 97, 98, 99}) {
    dos_.date = {1999, 12, 31};
    dos_.time = {23, 59, 59, hundredths};
    dos_.next_day = FakeDos::Date{2000, 1, 1};
    uint16_t date = 0, time = 0;
    DosDateTime(&date, &time);
    if (hundredths == 96) {
      EXPECT_EQ(date, 0x279F);  // 1999-12-31
      EXPECT_EQ(time, 0xBF7D);  // 23:59:58
    } else {
      EXPECT_EQ(date, 0x2821) << int{hundredths};  // 2000-01-01
      EXPECT_EQ(time, 0x0000) << int{hundredths};
    }
  }
}

}  // namespace
}  // namespace orvane::dos::rm
