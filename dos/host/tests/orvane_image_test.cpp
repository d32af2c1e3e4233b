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

using testing::Fill;
using testing::MakeVolume;
using testing::ReadFile;
using testing::ScratchDir;
using testing::Shell;
using testing::WriteFile;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Runs orvane-image; its exit status, and what it printed in `*out`.
int Tool(const std::string& arguments, std::string* out) {
  return Shell(std::string(ORVANE_IMAGE_TOOL) + " " + arguments, out);
}

// A FAT16 volume of 4 MiB, nearly full, and its image in parts of 1 MiB
// (five of them), made once; each test copies them into `dir`.
void CopySample(const ScratchDir& dir) {
  static ScratchDir sample;
  static const bool made = [] {
    MakeVolume(sample / "v.img", 16, 512, 4096, Fill::kNearlyFull, sample / "files", 11);
    std::string out;
    EXPECT_EQ(Tool("backup " + Quoted(sample / "v.img") + " " + Quoted(sample / "i.gho") +
                       " --part-size 1048576",
                   &out),
              0)
        << out;
    return true;
  }();
  ASSERT_TRUE(made);
  ASSERT_EQ(Shell("cp " + sample.path() + "/v.img " + sample.path() + "/i.* " + dir.path()), 0);
}

TEST(ImageTool, ThePartitionFileBeingTheImageIsRefusedAndBothAreLeftAlone) {
  ScratchDir dir;
  CopySample(dir);
  if (HasFatalFailure()) return;
  ASSERT_EQ(Shell("ln -s v.img " + Quoted(dir / "link.img") + " && ln -s i.gho " +
                  Quoted(dir / "link.gho")),
            0);
  const std::vector<uint8_t> volume = ReadFile(dir / "v.img"), image = ReadFile(dir / "i.gho"),
                             second = ReadFile(dir / "i.G01");
  std::string out;
  for (const std::string& command :
       {"backup " + Quoted(dir / "v.img") + " " + Quoted(dir / "v.img"),
        "backup " + Quoted(dir / "link.img") + " " + Quoted(dir / "v.img"),
        "backup " + Quoted(dir / "v.img") + " " + Quoted(dir / "link.img"),
        "restore " + Quoted(dir / "i.gho") + " " + Quoted(dir / "i.gho"),
        "restore " + Quoted(dir / "i.gho") + " " + Quoted(dir / "link.gho")}) {
    EXPECT_EQ(Tool(command, &out), 1) << command;
    EXPECT_NE(out.find("The partition file is the image itself"), std::string::npos) << out;
  }
  EXPECT_EQ(Tool("restore " + Quoted(dir / "i.gho") + " " + Quoted(dir / "i.G01"), &out), 1);
  EXPECT_NE(out.find("part 1 of the image"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(dir / "v.img"), volume);
  EXPECT_EQ(ReadFile(dir / "i.gho"), image);
  EXPECT_EQ(ReadFile(dir / "i.G01"), second);
  EXPECT_EQ(Tool("verify " + Quoted(dir / "i.gho"), &out), 0) << out;
}

// A partition file that does not hold a whole number of sectors, or holds
// 2^32 or more, is refused, not cut short without a word; one that cannot
// be opened is named as the partition file, with the reason.
TEST(ImageTool, PartitionFilesTheImageCannotHoldWholeAreRefused) {
  ScratchDir dir;
  CopySample(dir);
  if (HasFatalFailure()) return;
  ASSERT_EQ(Shell("cp " + Quoted(dir / "v.img") + " " + Quoted(dir / "odd.img") +
                  " && printf x >> " + Quoted(dir / "odd.img") + " && truncate -s 2T " +
                  Quoted(dir / "big.img") + " && mkdir " + Quoted(dir / "folder")),
            0);
  const std::vector<uint8_t> odd = ReadFile(dir / "odd.img");
  struct Case {
    std::string partition, says, restore_says;
  };
  for (const Case& c :
       {Case{
            "odd.img",
            "is " + std::to_string(odd.size()) + " bytes long: no whole number of 512-byte sectors",
            ""},
        Case{"big.img", "is 2199023255552 bytes long: a partition of 2 TiB or more", ""},
        Case{"folder", "The partition file is a folder", "cannot be opened. (Is a directory)"},
        Case{"missing.img", "The partition file cannot be opened. (No such file or directory)",
             ""}}) {
    std::string out;
    EXPECT_EQ(Tool("backup " + Quoted(dir / c.partition) + " " + Quoted(dir / "new.gho"), &out), 1);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_NE(Shell("test -e " + Quoted(dir / "new.gho")), 0) << c.partition;
    if (c.partition == "missing.img") continue;
    EXPECT_EQ(Tool("restore " + Quoted(dir / "i.gho") + " " + Quoted(dir / c.partition), &out), 1);
    EXPECT_NE(out.find(c.restore_says.empty() ? c.says : c.restore_says), std::string::npos) << out;
  }
  EXPECT_EQ(ReadFile(dir / "odd.img"), odd);
  std::string size;
  Shell("stat -c %s " + Quoted(dir / "big.img"), &size);
  EXPECT_EQ(size, "2199023255552\n");
}

// A backup records the local date and time it was made, as BF does; an
// image with no date says so, rather than "1980-00-00".
TEST(ImageTool, InfoTellsWhenTheImageWasMade) {
  ScratchDir dir;
  CopySample(dir);
  if (HasFatalFailure()) return;
  std::string out;
  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(Tool("backup " + Quoted(dir / "v.img") + " " + Quoted(dir / "new.gho"), &out), 0)
      << out;
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(Tool("info " + Quoted(dir / "new.gho"), &out), 0) << out;
  const size_t at = out.find("made ");
  ASSERT_NE(at, std::string::npos) << out;
  std::tm made = {};
  made.tm_isdst = -1;
  ASSERT_EQ(std::sscanf(out.c_str() + at, "made %d-%d-%d %d:%d:%d", &made.tm_year, &made.tm_mon,
                        &made.tm_mday, &made.tm_hour, &made.tm_min, &made.tm_sec),
            6)
      << out;
  made.tm_year -= 1900;
  made.tm_mon -= 1;
  const std::time_t stamped = std::mktime(&made);
  EXPECT_GE(stamped, before - 2) << out;  // DOS keeps even seconds
  EXPECT_LE(stamped, after) << out;

  std::vector<uint8_t> image = ReadFile(dir / "new.gho");
  std::fill_n(image.begin() + 60, 4, 0);
  Store32(image.data() + 508, Crc32(0, image.data(), 508));
  WriteFile(dir / "new.gho", image);
  ASSERT_EQ(Tool("info " + Quoted(dir / "new.gho"), &out), 0) << out;
  EXPECT_NE(out.find("made             (no date recorded)\n"), std::string::npos) << out;
}

// --part-size takes digits only, in range; a backup that needs more than
// 100 parts is refused before it writes, and one that fails on the way
// leaves none of its parts behind.
TEST(ImageTool, PartSizesAreCheckedAndAFailedBackupLeavesNothing) {
  ScratchDir dir;
  CopySample(dir);
  if (HasFatalFailure()) return;
  const std::string backup = "backup " + Quoted(dir / "v.img") + " " + Quoted(dir / "new.gho");
  std::string out;
  for (const char* size : {"1", "1048575", "4294901761", "99999999999999999999999", "-1", " 4096",
                           "1048576 ", "+1048576", "0x100000", "1e6", ""}) {
    EXPECT_EQ(Tool(backup + " --part-size '" + size + "'", &out), 2) << size;
    EXPECT_NE(out.find("--part-size takes a number of bytes from 1048576"), std::string::npos)
        << out;
  }
  EXPECT_NE(Shell("ls " + Quoted(dir.path()) + "/new.*"), 0) << "nothing written";

  // Every sector of a partition no FAT describes, 101 MiB in 1 MiB parts.
  ASSERT_EQ(Shell("truncate -s 101M " + Quoted(dir / "raw.img")), 0);
  EXPECT_EQ(Tool("backup " + Quoted(dir / "raw.img") + " " + Quoted(dir / "raw.gho") +
                     " --part-size 1048576",
                 &out),
            1);
  EXPECT_NE(out.find("more than 100 parts of 1048576 bytes: nothing was written"),
            std::string::npos)
      << out;
  EXPECT_NE(Shell("ls " + Quoted(dir.path()) + "/raw.[gG]*"), 0) << "nothing written";

  // The third part cannot be made (a folder has its name): the two
  // written before it go.
  ASSERT_EQ(Shell("mkdir " + Quoted(dir / "new.G02")), 0);
  EXPECT_EQ(Tool(backup + " --part-size 1048576", &out), 1);
  EXPECT_NE(out.find("new.G02: The image file cannot be opened. (Is a directory)"),
            std::string::npos)
      << out;
  EXPECT_NE(Shell("test -e " + Quoted(dir / "new.gho") + " || test -e " + Quoted(dir / "new.G01")),
            0);
  EXPECT_EQ(Shell("test -d " + Quoted(dir / "new.G02")), 0);
}

// A part of the image that is not there is named, not taken for an image
// cut short.
TEST(ImageTool, AMissingPartIsNamed) {
  ScratchDir dir;
  CopySample(dir);
  if (HasFatalFailure()) return;
  ASSERT_EQ(Shell("mv " + Quoted(dir / "i.G02") + " " + Quoted(dir / "away")), 0);
  std::string out;
  EXPECT_EQ(Tool("verify " + Quoted(dir / "i.gho"), &out), 1);
  EXPECT_NE(out.find("i.G02: A part of the image is missing. (part 2)"), std::string::npos) << out;
  EXPECT_EQ(Tool("restore " + Quoted(dir / "i.gho") + " " + Quoted(dir / "r.img"), &out), 1);
  EXPECT_NE(out.find("(part 2)"), std::string::npos) << out;
  EXPECT_NE(Shell("test -e " + Quoted(dir / "r.img")), 0) << "nothing made";
}

TEST(ImageTool, ATargetTooSmallIsSaidPlainlyAndLeftAlone) {
  ScratchDir dir;
  CopySample(dir);
  if (HasFatalFailure()) return;
  ASSERT_EQ(Shell("head -c 1048576 " + Quoted(dir / "v.img") + " > " + Quoted(dir / "small.img")),
            0);
  const std::vector<uint8_t> small = ReadFile(dir / "small.img");
  std::string out;
  EXPECT_EQ(Tool("restore " + Quoted(dir / "i.gho") + " " + Quoted(dir / "small.img"), &out), 1);
  EXPECT_NE(out.find("The partition file is smaller than the image's partition: 2048 sectors of "
                     "512 bytes, not 8192."),
            std::string::npos)
      << out;
  EXPECT_EQ(ReadFile(dir / "small.img"), small);
}

}  // namespace
}  // namespace orvane::dos
