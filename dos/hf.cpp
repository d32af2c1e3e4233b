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

void PrintTwo(uint32_t v) {
  if (v < 10) rm::PrintChar('0');
  PrintNumber(v);
}

void Describe(const ImageHeader& h, const ImageSummary& summary) {
  rm::Print("Image:   ");
  rm::Print(job.image);
  rm::Print("\nMade:    ");
  PrintNumber(1980 + (h.dos_date >> 9));
  rm::PrintChar('-');
  PrintTwo((h.dos_date >> 5) & 15);
  rm::PrintChar('-');
  PrintTwo(h.dos_date & 31);
  rm::PrintChar(' ');
  PrintTwo(h.dos_time >> 11);
  rm::PrintChar(':');
  PrintTwo((h.dos_time >> 5) & 63);
  rm::Print("\nSize:    ");
  PrintMegabytes(summary.bytes);
  rm::Print("\nSource:  BIOS disk ");
  PrintHex(h.bios_disk, 2);
  rm::Print("h, partition at sector ");
  PrintNumber(h.first_sector);
  rm::Print(", ");
  PrintMegabytes(uint64_t{h.sector_count} * kSectorSize);
  rm::Print(", ");
  rm::Print(h.fs == FileSystem::kFat12   ? "FAT12"
            : h.fs == FileSystem::kFat16 ? "FAT16"
            : h.fs == FileSystem::kFat32 ? "FAT32"
                                         : "every sector");
  rm::Print("\n");
}

// Ten seconds to change one's mind; true when Esc was pressed.
bool Cancelled() {
  rm::Print("Drive C will be overwritten. Press Esc to cancel.\n");
  for (int left = 10; left > 0; --left) {
    rm::Print("\rStarting in ");
    PrintNumber(static_cast<uint32_t>(left));
    rm::Print(" s ");
    const uint32_t start = rm::BiosTicks();
    for (;;) {
      const uint32_t now = rm::BiosTicks();
      if (now - start >= 18 || now < start) break;
      if (rm::TakeKey() == rm::kKeyEsc) return true;
    }
  }
  rm::Print("\n");
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
  ScreenProgress restoring("Restoring");
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
    rm::Print("\nHF failed: The restore stopped. ");
    PrintFault(s);
    rm::Print(
        "\nDrive C is incomplete: do not restart the computer now, it would not start.\n"
        "To restore from a DOS boot disk instead, start from it and type:\n  HF ");
    rm::Print(job.image);
    rm::Print("\n");
    if (job.unattended) rm::Exit(1);
    rm::Print("Press R to run the restore again now.\n");
    uint16_t key;
    do {
      key = rm::TakeKey();
    } while ((key | 0x20) != 'r');
    ImageSummary summary;
    rm::Print("Writing drive C. Do not switch the computer off.\n");
    s = Restore(drive_c, &summary);
    if (s.ok()) {
      rm::Print("Restore complete: ");
      PrintMegabytes(uint64_t{summary.data_sectors} * kSectorSize);
      rm::Print(" written to drive C.\n");
      Finish(job);
    }
  }
}

int Run() {
  rm::FailCriticalErrors();
  Crc32Init();
  rm::Print("Orvane HF 1.0: restores drive C from an image file.\n");
  StartJob("HF", job);
  const int disk_count = OpenBiosDisks(disks, 4);
  if (disk_count == 0) Fail(job, "The BIOS reports no hard disk.", nullptr);
  ResolveImagePath(job, disks, disk_count, workspace);
  if (DriveOf(job.image) == 3) {
    Fail(job, "The image is on drive C, which the restore would overwrite.", nullptr);
  }
  ImageSource drive_c;
  FindDriveC(job, disks[0], workspace, &drive_c);

  // Everything DOS writes on drive C comes first, so that the check below
  // reads the image as the restore will read it: after it nothing touches
  // drive C through DOS.
  if (!RestoreBootFiles(job)) Fail(job, "The normal boot menu cannot be put back.", nullptr);

  // Every byte of the image is checked before drive C is touched.
  rm::Print("Image file: ");
  rm::Print(job.image);
  rm::Print("\n");
  uint16_t error = 0;
  if (!image.Open(job.image, &error)) {
    FailStatus(job, nullptr, Status::Fail(Fault::kFileOpen, 0, error), nullptr);
  }
  ImageHeader header;
  ImageSummary summary;
  ScreenProgress checking("Checking ");
  Status s = VerifyImage(image, workspace, &checking, &header, &summary);
  checking.Finish();
  image.Close();
  if (s.fault == Fault::kFileRead) {
    FailStatus(job, "The image's drive cannot be read.", s,
               "The drive may be failing: copy the image to another drive, if it can be read.");
  }
  if (!s.ok()) FailStatus(job, "The image cannot be used.", s, nullptr);
  if (header.sector_count > drive_c.partition.count) {
    Fail(job, "The image's partition is larger than drive C.", nullptr);
  }
  Describe(header, summary);

  if (!job.unattended && Cancelled()) {
    rm::Print("\nCancelled. Drive C has not been changed.\n");
    Finish(job, 3);
  }
  rm::Print("Writing drive C. Do not switch the computer off.\n");
  s = Restore(drive_c, &summary);
  if (!s.ok()) {
    if (job.drive_c_written) Incomplete(drive_c, s);
    FailStatus(job, "The restore stopped.", s, nullptr);
  }
  rm::Print("Restore complete: ");
  PrintMegabytes(uint64_t{summary.data_sectors} * kSectorSize);
  rm::Print(" written to drive C.\n");
  Finish(job);
}

}  // namespace
}  // namespace orvane::dos

extern "C" int DosMain() { return orvane::dos::Run(); }
