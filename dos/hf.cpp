// HF <image file>: checks the whole image, puts the normal boot menu back,
// counts down, writes the image over drive C and restarts at once.
#include "dos/engine/crc32.h"
#include "dos/job.h"

namespace orvane::dos {
namespace {

Workspace workspace;
rm::BiosDisk disks[4];
Job job;
DosImageFile image;

// "2026-12-10 17:05"
void FormatMade(const ImageHeader& h, char* out) {
  const uint16_t values[5] = {
      static_cast<uint16_t>(1980 + (h.dos_date >> 9)),
      static_cast<uint16_t>((h.dos_date >> 5) & 15), static_cast<uint16_t>(h.dos_date & 31),
      static_cast<uint16_t>(h.dos_time >> 11), static_cast<uint16_t>((h.dos_time >> 5) & 63)};
  const char after[5] = {'-', '-', ' ', ':', 0};
  int n = 0;
  for (int i = 0; i < 5; ++i) {
    if (values[i] < 10) out[n++] = '0';
    n = static_cast<int>(FormatNumber(values[i], out + n) - out);
    out[n++] = after[i];
  }
}

void Describe(const ImageHeader& h, const ImageSummary& summary) {
  char first[24], second[16];
  Say(Msg::kImageIs, job.image);
  FormatMade(h, first);
  Say(Msg::kImageMade, first);
  FormatMegabytes(summary.bytes, first);
  Say(Msg::kImageSize, first);
  FormatHex(h.bios_disk, 2, first);
  FormatNumber(h.first_sector, second);
  Say(Msg::kImageSource, first, second);
  FormatMegabytes(uint64_t{h.sector_count} * kSectorSize, first);
  const char* fs = h.fs == FileSystem::kFat12   ? "FAT12"
                   : h.fs == FileSystem::kFat16 ? "FAT16"
                   : h.fs == FileSystem::kFat32 ? "FAT32"
                                                : nullptr;
  if (fs) {
    Say(Msg::kImageSourceEnd, first, fs);
  } else {
    Say(Msg::kImageSourceEverySector, first);
  }
}

// Ten seconds to change one's mind; true when Esc was pressed.
bool Cancelled() {
  SetTone(Tone::kAdvice);
  Say(Msg::kWillOverwrite);
  SetTone(Tone::kNormal);
  for (int left = 10; left > 0; --left) {
    ShowCountdown(static_cast<uint32_t>(left));
    const uint32_t start = rm::BiosTicks();
    for (;;) {
      const uint32_t now = rm::BiosTicks();
      if (now - start >= 18 || now < start) break;
      if (rm::TakeKey() == rm::kKeyEsc) return true;
    }
  }
  EndCountdown();
  return false;
}

// Drive C as the restore writes it: notes the first write, from which on
// DOS must not touch C: and a failure leaves drive C incomplete.
class WrittenDisk final : public SectorDisk {
 public:
  WrittenDisk(SectorDisk& disk, Job& job) : disk_(disk), job_(job) {}
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override {
    return disk_.Read(lba, count, buffer);
  }
  Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) override {
    job_.drive_c_written = true;
    return disk_.Write(lba, count, buffer);
  }
  uint32_t SectorCount() override { return disk_.SectorCount(); }

 private:
  SectorDisk& disk_;
  Job& job_;
};

// Writes the checked image over drive C.
Status Restore(const ImageSource& drive_c, ImageSummary* summary) {
  uint16_t error = 0;
  if (!image.Open(job.image, &error)) return Status::Fail(Fault::kFileOpen, 0, error);
  WrittenDisk target(disks[0], job);
  ScreenProgress restoring(Msg::kRestoring);
  const Status s = RestoreImage(image, target, drive_c.partition.first, drive_c.partition.count,
                                workspace, &restoring, summary);
  restoring.Finish();
  image.Close();
  return s;
}

// Drive C is half written: a restart would start from it, and the message
// would go unseen. Offers the restore again while HF is still in memory,
// and says how to run it from a boot disk; never restarts by itself.
[[noreturn]] void Incomplete(const ImageSource& drive_c, Status s) {
  for (;;) {
    SetTone(Tone::kFailure);
    Say(Msg::kHfStopped);
    ShowFault(s);
    Say(Msg::kDriveCIncomplete, job.image);
    SetTone(Tone::kNormal);
    if (job.unattended) Leave(1);
    Say(Msg::kPressR);
    uint16_t key;
    do {
      key = rm::TakeKey();
    } while ((key | 0x20) != 'r');
    ImageSummary summary;
    SetTone(Tone::kAdvice);
    Say(Msg::kWritingDriveC);
    SetTone(Tone::kNormal);
    s = Restore(drive_c, &summary);
    if (s.ok()) {
      char written[16];
      FormatMegabytes(uint64_t{summary.data_sectors} * kSectorSize, written);
      SetTone(Tone::kGood);
      Say(Msg::kRestoreComplete, written);
      SetTone(Tone::kNormal);
      Finish(job);
    }
  }
}

int Run() {
  rm::FailCriticalErrors();
  rm::IgnoreBreak();
  Crc32Init();
  OpenScreen();
  SetTone(Tone::kTitle);
  Say(Msg::kHfTitle);
  SetTone(Tone::kNormal);
  StartJob("HF", job);
  // Before DosImageFile takes its block, which must still fit beside it.
  workspace.batch = TakeBatchMemory();
  const int disk_count = OpenBiosDisks(disks, 4);
  if (disk_count == 0) Fail(job, Msg::kNoHardDisk, Msg::kCheckTheDisk);
  ResolveImagePath(job, disks, disk_count, workspace);
  if (DriveOf(job.image) == 3) Fail(job, Msg::kImageOnDriveCRestore, Msg::kCopyImageElsewhere);
  ImageSource drive_c;
  FindDriveC(job, disks[0], workspace, &drive_c);

  // Everything DOS writes on drive C comes first, so that the check below
  // reads the image as the restore will read it: after it nothing touches
  // drive C through DOS.
  if (!RestoreBootFiles(job)) Fail(job, Msg::kMenuNotBack, kNoMessage);

  // Every byte of the image is checked before drive C is touched.
  Say(Msg::kImageFile, job.image);
  uint16_t error = 0;
  if (!image.Open(job.image, &error)) {
    FailStatus(job, kNoMessage, Status::Fail(Fault::kFileOpen, 0, error),
               Msg::kChooseTheImageAgain);
  }
  ImageHeader header;
  ImageSummary summary;
  ScreenProgress checking(Msg::kChecking);
  Status s = VerifyImage(image, workspace, &checking, &header, &summary);
  checking.Finish();
  image.Close();
  if (s.fault == Fault::kFileRead) {
    FailStatus(job, Msg::kImageDriveUnreadable, s, Msg::kImageDriveFailing);
  }
  if (!s.ok()) FailStatus(job, Msg::kImageUnusable, s, Msg::kChooseAnotherImage);
  if (header.sector_count > drive_c.partition.count) {
    Fail(job, Msg::kPartitionTooLarge, Msg::kChooseAnImageOfThisDrive);
  }
  Describe(header, summary);

  if (!job.unattended && Cancelled()) {
    Say(Msg::kCancelled);
    Finish(job, 3);
  }
  SetTone(Tone::kAdvice);
  Say(Msg::kWritingDriveC);
  SetTone(Tone::kNormal);
  s = Restore(drive_c, &summary);
  if (!s.ok()) {
    if (job.drive_c_written) Incomplete(drive_c, s);
    FailStatus(job, Msg::kRestoreStopped, s, Msg::kRestoreAgain);
  }
  char written[16];
  FormatMegabytes(uint64_t{summary.data_sectors} * kSectorSize, written);
  SetTone(Tone::kGood);
  Say(Msg::kRestoreComplete, written);
  SetTone(Tone::kNormal);
  Finish(job);
}

}  // namespace
}  // namespace orvane::dos

extern "C" int DosMain() { return orvane::dos::Run(); }
