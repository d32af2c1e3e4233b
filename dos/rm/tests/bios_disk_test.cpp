// BiosDisk against a simulated INT 13h that checks every call the way a
// strict BIOS would: at most 127 sectors, no 64 KB physical boundary
// crossed, with CHS no track end crossed and only addresses on the disk.
#include <gtest/gtest.h>
#include <string.h>

#include <set>
#include <vector>

#include "dos/rm/dos_api.h"
#include "dos/rm/tests/fake_machine.h"

namespace orvane::dos::rm {
namespace {

using fake::machine;

// Sector `lba` as the disk holds it until written.
uint8_t Byte(uint32_t lba, uint32_t i) {
  return static_cast<uint8_t>(lba * 131 + i * 7 + (i >> 8));
}

struct FakeDisk {
  uint32_t cylinders = 300, heads = 16, sectors_per_track = 63;
  bool extensions = false;
  uint64_t reported_sectors = 0;  // what AH=48h says
  std::map<uint32_t, std::vector<uint8_t>> written;
  std::map<uint32_t, int> failures;  // sector -> failing calls still to come
  uint8_t failure_status = 0x10;
  int calls = 0, resets = 0;

  uint32_t sectors() const { return cylinders * heads * sectors_per_track; }

  // Moves `count` sectors at `lba` between the disk and ES:BX (or the
  // packet's buffer); false with AH set when the call fails.
  bool Move(bool write, uint32_t lba, uint32_t count, uint16_t segment, uint32_t offset, Regs& r) {
    ++calls;
    EXPECT_GE(count, 1u);
    EXPECT_LE(count, 127u);
    EXPECT_EQ(segment, machine().data_segment);
    const uint32_t physical = uint32_t{segment} * 16 + offset;
    EXPECT_LE((physical & 0xFFFF) + count * 512, 0x10000u) << "crosses 64 KB at " << lba;
    EXPECT_LE(uint64_t{lba} + count, extensions ? reported_sectors : sectors());
    bool corrected = false;
    for (uint32_t s = lba; s < lba + count; ++s) {
      auto f = failures.find(s);
      if (f != failures.end() && f->second > 0) {
        --f->second;
        r.eax = uint32_t{failure_status} << 8;
        // 11h: the data was corrected, and arrives.
        if (failure_status != 0x11) return false;
        corrected = true;
      }
    }
    for (uint32_t s = 0; s < count; ++s) {
      uint8_t* p = machine().Pointer(segment, offset + s * 512);
      if (!p) return ADD_FAILURE() << "buffer outside the data segment", false;
      std::vector<uint8_t>& stored = written[lba + s];
      if (write) {
        stored.assign(p, p + 512);
      } else if (stored.empty()) {
        for (uint32_t i = 0; i < 512; ++i) p[i] = Byte(lba + s, i);
      } else {
        memcpy(p, stored.data(), 512);
      }
    }
    return !corrected;
  }

  void Int13(Regs& r) {
    const uint8_t function = r.ah;
    const uint8_t drive = r.dl;
    // Like many BIOSes, answer AH=08h for any hard disk, with the count.
    if (drive != 0x80 && !(function == 0x08 && drive > 0x80)) {
      r.eax = 0x0100, r.flags = 1;
      return;
    }
    bool ok = true;
    switch (function) {
      case 0x00:
        ++resets;
        r.eax = 0;
        break;
      case 0x08: {
        const uint32_t c = cylinders - 1;
        r.ecx = ((c & 0xFF) << 8) | ((c >> 2) & 0xC0) | sectors_per_track;
        r.edx = ((heads - 1) << 8) | 1;
        r.eax = 0;
        break;
      }
      case 0x41:
        if (extensions) {
          r.ebx = 0xAA55, r.ecx = 1, r.eax = 0x2100;
        } else {
          r.eax = 0x0100, ok = false;
        }
        break;
      case 0x48: {
        uint8_t* p = machine().Pointer(r.ds, r.esi);
        EXPECT_TRUE(p && p[0] >= 0x1A);
        memcpy(p + 0x10, &reported_sectors, 8);
        r.eax = 0;
        break;
      }
      case 0x02:
      case 0x03: {
        const uint32_t cylinder = r.ch | ((r.cl & 0xC0) << 2);
        const uint32_t sector = r.cl & 0x3F, head = r.dh, count = r.al;
        EXPECT_LT(cylinder, cylinders);
        EXPECT_LT(head, heads);
        EXPECT_GE(sector, 1u);
        EXPECT_LE(sector - 1 + count, sectors_per_track) << "crosses a track end";
        const uint32_t lba = (cylinder * heads + head) * sectors_per_track + sector - 1;
        ok = Move(function == 0x03, lba, count, r.es, r.ebx & 0xFFFF, r);
        break;
      }
      case 0x42:
      case 0x43: {
        const uint8_t* packet = machine().Pointer(r.ds, r.esi & 0xFFFF);
        EXPECT_EQ(packet[0], 0x10);
        EXPECT_EQ(packet[1], 0);
        uint16_t count, offset, segment;
        uint64_t lba;
        memcpy(&count, packet + 2, 2);
        memcpy(&offset, packet + 4, 2);
        memcpy(&segment, packet + 6, 2);
        memcpy(&lba, packet + 8, 8);
        if (function == 0x43) {
          EXPECT_EQ(r.al, 0);  // write without verify
        }
        ok = Move(function == 0x43, static_cast<uint32_t>(lba), count, segment, offset, r);
        break;
      }
      default:
        ADD_FAILURE() << "INT 13h AH=" << std::hex << int{function};
        ok = false;
    }
    if (!ok) r.flags = 1;
  }
};

class DosBiosDisk : public testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    machine().interrupt = [this](uint8_t number, Regs& r) {
      ASSERT_EQ(number, 0x13);
      disk_.Int13(r);
    };
  }

  // Reads `count` sectors from `lba` into the data segment at `offset`
  // and checks them against what the disk holds.
  void ReadAndCheck(BiosDisk& disk, uint32_t lba, uint16_t count, uint32_t offset) {
    uint8_t* buffer = machine().data.data() + offset;
    const Status status = disk.Read(lba, count, buffer);
    ASSERT_TRUE(status.ok()) << "lba " << lba << " fault " << int(status.fault) << " where "
                             << status.where;
    for (uint32_t s = 0; s < count; ++s) {
      for (uint32_t i = 0; i < 512; ++i) {
        const auto w = disk_.written.find(lba + s);
        const uint8_t want =
            w != disk_.written.end() && !w->second.empty() ? w->second[i] : Byte(lba + s, i);
        ASSERT_EQ(buffer[s * 512 + i], want) << "lba " << lba + s << " byte " << i;
      }
    }
  }

  FakeDisk disk_;
};

TEST_F(DosBiosDisk, ChsReadsAndWritesLandWhereTheySayAcrossBoundaries) {
  BiosDisk disk;
  ASSERT_TRUE(disk.Open(0x80));
  EXPECT_FALSE(disk.extensions());
  EXPECT_EQ(disk.SectorCount(), 300u * 16 * 63);
  // Data segments that put the 64 KB boundary at many places in the
  // buffer (aligned to a sector and not), reads across track, head and
  // cylinder ends, the cylinders past 255 among them.
  const uint32_t cylinder_256 = 256 * 16 * 63;
  const uint32_t starts[] = {0, 60, 1000, cylinder_256 - 70, disk.SectorCount() - 200};
  for (uint16_t segment : {0x1000, 0x1234, 0x1FF1, 0x1F00, 0x2E21}) {
    machine().data_segment = segment;
    for (uint32_t start : starts) {
      for (uint16_t count : {1, 2, 63, 64, 100}) {
        for (uint32_t offset : {0x0000u, 0x0011u, 0x1FFu, 0x2000u}) {
          ReadAndCheck(disk, start, count, offset);
        }
      }
    }
  }

  // A write through a buffer the boundary splits inside a sector.
  machine().data_segment = 0x1F00;  // the boundary at offset 0x1000
  uint8_t* buffer = machine().data.data() + 0x1000 - 700;
  for (uint32_t i = 0; i < 40 * 512; ++i) buffer[i] = static_cast<uint8_t>(i * 13 + 5);
  const uint32_t at = cylinder_256 - 20;
  ASSERT_TRUE(disk.Write(at, 40, buffer).ok());
  for (uint32_t s = 0; s < 40; ++s) {
    ASSERT_EQ(disk_.written[at + s].size(), 512u);
    EXPECT_EQ(memcmp(disk_.written[at + s].data(), buffer + s * 512, 512), 0) << s;
  }
  EXPECT_TRUE(disk_.written[at - 1].empty());
  EXPECT_TRUE(disk_.written[at + 40].empty());

  // Past the last sector: no call at all, and the first sector past the
  // end named.
  const int calls = disk_.calls;
  const Status past = disk.Read(disk.SectorCount() - 1, 2, machine().data.data());
  EXPECT_EQ(past.fault, Fault::kDiskRead);
  EXPECT_EQ(past.where, disk.SectorCount());
  EXPECT_EQ(disk_.calls, calls);
  EXPECT_EQ(disk.Write(disk.SectorCount(), 1, machine().data.data()).fault, Fault::kDiskWrite);
}

TEST_F(DosBiosDisk, ExtensionsReachPastChsWithPacketsAndTheReportedSize) {
  disk_.extensions = true;
  disk_.cylinders = 1024, disk_.heads = 255, disk_.sectors_per_track = 63;
  disk_.reported_sectors = 40'000'000;  // past CHS's 16,450,560 sectors
  BiosDisk disk;
  ASSERT_TRUE(disk.Open(0x80));
  EXPECT_TRUE(disk.extensions());
  EXPECT_EQ(disk.SectorCount(), 40'000'000u);
  machine().data_segment = 0x1F00;
  for (uint32_t start : {0u, 62u, 16'450'500u, 39'999'800u}) {
    for (uint16_t count : {1, 64, 100}) ReadAndCheck(disk, start, count, 0x1000 - 300);
  }
  uint8_t* buffer = machine().data.data() + 0x100;
  memset(buffer, 0x5A, 3 * 512);
  ASSERT_TRUE(disk.Write(30'000'000, 3, buffer).ok());
  EXPECT_EQ(disk_.written[30'000'002], std::vector<uint8_t>(512, 0x5A));

  // More sectors than 32 bits count: all of them that can be addressed.
  disk_.reported_sectors = 0x1'0000'0000ull + 5;
  ASSERT_TRUE(disk.Open(0x80));
  EXPECT_EQ(disk.SectorCount(), 0xFFFFFFFFu);
}

TEST_F(DosBiosDisk, RetriesAfterResetsThenNamesTheSectorThatFailed) {
  BiosDisk disk;
  ASSERT_TRUE(disk.Open(0x80));
  uint8_t* buffer = machine().data.data();

  // Three failures are retried away, each after a reset.
  disk_.failures[70] = 3;
  ReadAndCheck(disk, 63, 20, 0);
  EXPECT_EQ(disk_.resets, 3);

  // A sector that keeps failing inside a longer read: the status names
  // it and the BIOS's code, and the sectors before it arrived.
  disk_.resets = 0;
  disk_.failures[75] = 1000;
  memset(buffer, 0, 20 * 512);
  const Status status = disk.Read(63, 20, buffer);
  EXPECT_EQ(status.fault, Fault::kDiskRead);
  EXPECT_EQ(status.where, 75u);
  EXPECT_EQ(status.detail, 0x10);
  EXPECT_EQ(buffer[(74 - 63) * 512], Byte(74, 0));
  EXPECT_EQ(disk_.resets, 6);  // the whole chunk's retries, then the sector's

  const Status write = disk.Write(75, 1, buffer);
  EXPECT_EQ(write.fault, Fault::kDiskWrite);
  EXPECT_EQ(write.where, 75u);

  // ECC corrected data (AH=11h with carry) is good data.
  disk_.failures.clear();
  disk_.failures[80] = 1;
  disk_.failure_status = 0x11;
  disk_.resets = 0;
  EXPECT_TRUE(disk.Read(80, 1, buffer).ok());
  EXPECT_EQ(disk_.resets, 0);
}

TEST_F(DosBiosDisk, OnlyDisksTheBiosReportsOpen) {
  BiosDisk disk;
  EXPECT_EQ(BiosHardDiskCount(), 1);
  EXPECT_TRUE(disk.Open(0x80));
  EXPECT_FALSE(disk.Open(0x81));
}

}  // namespace
}  // namespace orvane::dos::rm
