#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "dos/engine/bytes.h"
#include "dos/engine/image.h"
#include "dos/engine/tests/fat_volumes.h"

namespace orvane::dos {
namespace {

using testing::MemoryDisk;

void SetEntry(uint8_t* sector, int slot, uint8_t status, uint8_t type, uint32_t first,
              uint32_t count) {
  uint8_t* e = sector + 446 + 16 * slot;
  e[0] = status;
  e[4] = type;
  Store32(e + 8, first);
  Store32(e + 12, count);
  sector[510] = 0x55;
  sector[511] = 0xAA;
}

TEST(Partitions, PrimaryEntriesThenTheLogicalChain) {
  MemoryDisk disk(5000);
  uint8_t* mbr = disk.bytes().data();
  SetEntry(mbr, 0, 0x00, 0x0C, 63, 1000);
  SetEntry(mbr, 1, 0x80, 0x06, 1063, 500);
  SetEntry(mbr, 2, 0x00, 0x0F, 2000, 3000);  // extended, at 2000
  // Two logical drives: 2000 -> 2063 (200 sectors), link to 2500 -> 2563.
  uint8_t* ebr1 = mbr + 2000 * 512;
  SetEntry(ebr1, 0, 0, 0x0B, 63, 200);
  SetEntry(ebr1, 1, 0, 0x05, 500, 300);
  uint8_t* ebr2 = mbr + 2500 * 512;
  SetEntry(ebr2, 0, 0, 0x01, 63, 100);

  PartitionEntry parts[8];
  uint8_t scratch[512];
  ASSERT_EQ(ReadPartitions(disk, parts, 8, scratch), 4);
  EXPECT_EQ(parts[0].first, 63u);
  EXPECT_EQ(parts[1].status, 0x80);
  EXPECT_TRUE(parts[1].primary);
  EXPECT_EQ(parts[2].first, 2063u);
  EXPECT_FALSE(parts[2].primary);
  EXPECT_EQ(parts[3].first, 2563u);
  EXPECT_EQ(parts[3].count, 100u);
  EXPECT_EQ(ReadPartitions(disk, parts, 2, scratch), 2) << "never more than asked for";

  // A chain that links back to itself ends.
  SetEntry(ebr2, 1, 0, 0x05, 0, 300);
  Store32(ebr2 + 462 + 8, 500);
  EXPECT_LE(ReadPartitions(disk, parts, 8, scratch), 8);
  EXPECT_TRUE(IsDosType(0x06) && IsDosType(0x0C) && !IsDosType(0x07) && !IsDosType(0x0F));

  mbr[510] = 0;
  EXPECT_EQ(ReadPartitions(disk, parts, 8, scratch), 0) << "no table without the signature";
}

TEST(VolumeLayout, ReadsWhatMkfsWroteAndRefusesWhatDoesNotAddUp) {
  testing::ScratchDir dir;
  ASSERT_EQ(testing::Shell("mkfs.fat -C -F 32 -S 512 -s 1 -i 1234ABCD -n ORVANETEST '" +
                           dir / "v.img" + "' 34000"),
            0);
  std::vector<uint8_t> bytes = testing::ReadFile(dir / "v.img");
  MemoryDisk disk(static_cast<uint32_t>(bytes.size() / 512));
  disk.bytes() = bytes;
  PartitionEntry part{0, 0x0C, true, 0, disk.SectorCount()};
  uint8_t scratch[512];
  VolumeLayout layout;
  ASSERT_TRUE(ReadVolumeLayout(disk, part, scratch, &layout).ok());
  EXPECT_EQ(layout.fs, FileSystem::kFat32);
  EXPECT_EQ(layout.sectors_per_cluster, 1u);
  EXPECT_EQ(layout.serial, 0x1234ABCDu);
  EXPECT_STREQ(layout.label, "ORVANETEST ");
  EXPECT_EQ(layout.first_data_sector,
            layout.reserved_sectors + layout.fat_count * layout.sectors_per_fat);

  // Only the system area and the root directory's cluster are in use.
  auto fat = std::make_unique<uint8_t[]>(kFatWindowSectors * 512);
  UsedRuns runs(disk, 0, layout, fat.get());
  uint32_t start, count;
  ASSERT_TRUE(runs.Next(&start, &count).ok());
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(count, layout.first_data_sector);
  ASSERT_TRUE(runs.Next(&start, &count).ok());
  EXPECT_EQ(start, layout.first_data_sector);
  EXPECT_EQ(count, 1u);
  ASSERT_TRUE(runs.Next(&start, &count).ok());
  EXPECT_EQ(count, 0u);

  // Mirroring off: the FAT the flags name is read; one that does not
  // exist leaves nothing to tell the clusters in use by. With mirroring on
  // the number means nothing.
  for (const auto& [flags, fs, active] :
       {std::tuple{0x0081, FileSystem::kFat32, 1}, std::tuple{0x0080, FileSystem::kFat32, 0},
        std::tuple{0x0001, FileSystem::kFat32, 0}, std::tuple{0x0082, FileSystem::kUnknown, 0}}) {
    Store16(disk.bytes().data() + 0x28, static_cast<uint16_t>(flags));
    ASSERT_TRUE(ReadVolumeLayout(disk, part, scratch, &layout).ok());
    EXPECT_EQ(layout.fs, fs) << flags;
    EXPECT_EQ(layout.active_fat, active) << flags;
  }
  Store16(disk.bytes().data() + 0x28, 0);

  // A volume larger than its partition, or a FAT too small for its
  // clusters, is no volume the engine reads.
  part.count = layout.total_sectors - 1;
  ASSERT_TRUE(ReadVolumeLayout(disk, part, scratch, &layout).ok());
  EXPECT_EQ(layout.fs, FileSystem::kUnknown);
  EXPECT_EQ(layout.total_sectors, part.count);
  part.count = disk.SectorCount();
  Store32(disk.bytes().data() + 0x24, 100);
  ASSERT_TRUE(ReadVolumeLayout(disk, part, scratch, &layout).ok());
  EXPECT_EQ(layout.fs, FileSystem::kUnknown);
  // 2^30 clusters and a FAT of one sector: (clusters + 2) * 4 wraps in
  // 32 bits, and must not pass for a FAT large enough.
  uint8_t* boot = disk.bytes().data();
  boot[0x0D] = 1;
  Store16(boot + 0x0E, 32);
  boot[0x10] = 1;
  Store32(boot + 0x20, (1u << 30) + 64);
  Store32(boot + 0x24, 1);
  part.count = (1u << 30) + 64;
  ASSERT_TRUE(ReadVolumeLayout(disk, part, scratch, &layout).ok());
  EXPECT_EQ(layout.fs, FileSystem::kUnknown);
}

}  // namespace
}  // namespace orvane::dos
