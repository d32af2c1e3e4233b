// orvane-image run as a user runs it: its exit status, what it says and
// the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "dos/engine/bytes.h"
#include "dos/engine/crc32.h"
#include "dos/engine/tests/fat_volumes.h"

namespace orvane::dos {
namespace {

using testing::ReadFile;
using testing::ScratchDir;
using testing::Shell;

// Each test starts with a copy of one FAT16 volume of 4 MiB, nearly full
// (v.img), and its image in five parts of 1 MiB (i.gho, i.G01 ...).
class OrvaneImage : public ::testing::Test {
 protected:
  void SetUp() override {
    static ScratchDir sample;
    static const int made = [] {
      testing::MakeVolume(sample / "v.img", 16, 512, 4096, testing::Fill::kNearlyFull,
                          sample / "files", 11);
      return Shell("cd '" + sample.path() +
                   "' && " ORVANE_IMAGE_TOOL " backup v.img i.gho --part-size 1048576");
    }();
    ASSERT_EQ(made, 0);
    ASSERT_EQ(Run("cp '" + sample.path() + "'/v.img '" + sample.path() + "'/i.* ."), 0);
  }
  // Runs a shell command in the test's folder.
  int Run(const std::string& command, std::string* out = nullptr) {
    return Shell("cd '" + dir.path() + "' && " + command, out);
  }
  // orvane-image with `arguments` exits with `status`, having said `says`.
  ::testing::AssertionResult Says(const std::string& arguments, int status,
                                  const std::string& says) {
    std::string out;
    const int got = Run(ORVANE_IMAGE_TOOL " " + arguments, &out);
    if (got == status && out.find(says) != std::string::npos) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << arguments << ": exit status " << got << ", " << out;
  }
  std::vector<uint8_t> Bytes(const std::string& name) { return ReadFile(dir / name); }
  bool Exists(const std::string& name) { return Run("test -e '" + name + "'") == 0; }
  ScratchDir dir;
};

TEST_F(OrvaneImage, APartitionFileThatIsTheImageIsRefusedAndBothAreLeftAlone) {
  ASSERT_EQ(Run("ln -s v.img link.img && ln -s i.gho link.gho"), 0);
  const std::vector<uint8_t> volume = Bytes("v.img"), image = Bytes("i.gho"), part = Bytes("i.G01");
  for (const char* arguments :
       {"backup v.img v.img", "backup link.img v.img", "backup v.img link.img",
        "restore i.gho i.gho", "restore i.gho link.gho"}) {
    EXPECT_TRUE(Says(arguments, 1, "The partition file is the image itself: nothing was done."));
  }
  EXPECT_TRUE(Says("restore i.gho i.G01", 1, "is part 1 of the image"));
  EXPECT_EQ(Bytes("v.img"), volume);
  EXPECT_EQ(Bytes("i.gho"), image);
  EXPECT_EQ(Bytes("i.G01"), part);
}

// A partition file of no whole number of sectors, or of 2^32 or more, is
// refused, not cut short without a word; one that cannot be opened is
// named as the partition file, with the reason.
TEST_F(OrvaneImage, PartitionFilesTheImageCannotHoldWholeAreRefused) {
  ASSERT_EQ(Run("cp v.img odd.img && printf x >> odd.img && truncate -s 2T big.img && mkdir dir"),
            0);
  const std::vector<uint8_t> odd = Bytes("odd.img");
  EXPECT_TRUE(
      Says("backup odd.img new.gho", 1, "The partition file is 4194305 bytes long: no whole"));
  EXPECT_TRUE(Says("restore i.gho odd.img", 1, "4194305 bytes long: no whole number of 512-byte"));
  EXPECT_TRUE(
      Says("backup big.img new.gho", 1, "is 2199023255552 bytes long: a partition of 2 TiB"));
  EXPECT_TRUE(Says("restore i.gho big.img", 1, "is 2199023255552 bytes long"));
  EXPECT_TRUE(Says("backup dir new.gho", 1, "The partition file is a folder."));
  EXPECT_TRUE(Says("backup none.img new.gho", 1,
                   "none.img: The partition file cannot be opened. (No such file or directory)"));
  EXPECT_FALSE(Exists("new.gho"));
  EXPECT_EQ(Bytes("odd.img"), odd);
  std::string size;
  Run("stat -c %s big.img", &size);
  EXPECT_EQ(size, "2199023255552\n");
}

// --part-size takes digits only, in range; a backup that needs more than
// 100 parts is refused before it writes, and one that fails on the way
// leaves none of its parts behind.
TEST_F(OrvaneImage, PartSizesAreCheckedAndAFailedBackupLeavesNothing) {
  for (const char* size : {"1", "1048575", "4294901761", "99999999999999999999999", "-1", " 4096",
                           "1048576 ", "+1048576", "0x100000", ""}) {
    EXPECT_TRUE(Says("backup v.img new.gho --part-size '" + std::string(size) + "'", 2,
                     "--part-size takes a number of bytes from 1048576 (1 MiB) to 4294901760"));
  }
  EXPECT_FALSE(Exists("new.gho"));
  // Every sector of a partition no FAT describes: 101 MiB.
  ASSERT_EQ(Run("truncate -s 101M raw.img"), 0);
  EXPECT_TRUE(Says("backup raw.img raw.gho --part-size 1048576", 1,
                   "more than 100 parts of 1048576 bytes: nothing was written."));
  EXPECT_FALSE(Exists("raw.gho"));
  // The third part cannot be made (a folder has its name).
  ASSERT_EQ(Run("mkdir new.G02"), 0);
  EXPECT_TRUE(Says("backup v.img new.gho --part-size 1048576", 1,
                   "new.G02: The image file cannot be opened. (Is a directory)"));
  EXPECT_FALSE(Exists("new.gho") || Exists("new.G01"));
}

// A backup records the local date and time it was made, as BF does; an
// image with no date says so, rather than "1980-00-00".
TEST_F(OrvaneImage, InfoTellsWhenTheImageWasMade) {
  std::string out;
  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(
      Run(ORVANE_IMAGE_TOOL " backup v.img new.gho && " ORVANE_IMAGE_TOOL " info new.gho", &out), 0)
      << out;
  const std::time_t after = std::time(nullptr);
  std::tm made = {};
  made.tm_isdst = -1;
  const size_t at = out.find("made ");
  ASSERT_EQ(
      std::sscanf(out.c_str() + std::min(at, out.size()), "made %d-%d-%d %d:%d:%d", &made.tm_year,
                  &made.tm_mon, &made.tm_mday, &made.tm_hour, &made.tm_min, &made.tm_sec),
      6)
      << out;
  made.tm_year -= 1900;
  made.tm_mon -= 1;
  EXPECT_GE(std::mktime(&made), before - 2) << out;  // DOS keeps even seconds
  EXPECT_LE(std::mktime(&made), after) << out;

  std::vector<uint8_t> image = Bytes("new.gho");
  std::fill_n(image.begin() + 60, 4, 0);
  Store32(image.data() + 508, Crc32(0, image.data(), 508));
  testing::WriteFile(dir / "new.gho", image);
  EXPECT_TRUE(Says("info new.gho", 0, "made             (no date recorded)\n"));
}

TEST_F(OrvaneImage, AMissingPartOrATargetTooSmallIsSaidPlainly) {
  ASSERT_EQ(Run("head -c 1048576 v.img > small.img"), 0);
  const std::vector<uint8_t> small = Bytes("small.img");
  EXPECT_TRUE(Says("restore i.gho small.img", 1,
                   "The partition file is smaller than the image's partition: 2048 sectors of "
                   "512 bytes, not 8192. Nothing was written."));
  EXPECT_EQ(Bytes("small.img"), small);

  ASSERT_EQ(Run("mv i.G02 away"), 0);
  EXPECT_TRUE(Says("verify i.gho", 1, "i.G02: A part of the image is missing. (part 2)"));
  EXPECT_TRUE(Says("restore i.gho new.img", 1, "(part 2)"));
  EXPECT_FALSE(Exists("new.img"));
}

}  // namespace
}  // namespace orvane::dos
