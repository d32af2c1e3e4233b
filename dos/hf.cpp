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

constexpr const char* kUnchanged = "Drive C has not been changed.";

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

int Run() {
  rm::FailCriticalErrors();
  Crc32Init();
  rm::Print("Orvane HF 1.0: restores drive C from an image file.\n");
  StartJob("HF", job);
  const int disk_count = OpenBiosDisks(disks, 4);
  if (disk_count == 0) Fail(job, "The BIOS reports no hard disk.", kUnchanged);
  ResolveImagePath(job, disks, disk_count, workspace);
  if (DriveOf(job.image) == 3) {
    Fail(job, "The image is on drive C, which the restore would overwrite.", kUnchanged);
  }

  // Every byte of the image is checked before drive C is touched.
  uint16_t error = 0;
  if (!image.Open(job.image, &error)) {
    rm::Print("Image file: ");
    rm::Print(job.image);
    rm::Print("\n");
    FailStatus(job, "The image file cannot be opened.", Status::Fail(Fault::kFileOpen, 0, error),
               kUnchanged);
  }
  ImageHeader header;
  ImageSummary summary;
  ScreenProgress checking("Checking ");
  Status s = VerifyImage(image, workspace, &checking, &header, &summary);
  checking.Finish();
  image.Close();
  if (!s.ok()) FailStatus(job, "The image cannot be used.", s, kUnchanged);

  ImageSource drive_c;
  FindDriveC(job, disks[0], workspace, &drive_c);
  if (header.sector_count > drive_c.partition.count) {
    Fail(job, "The image's partition is larger than drive C.", kUnchanged);
  }
  if (!RestoreBootMenu(job)) Fail(job, "The normal boot menu cannot be put back.", kUnchanged);
  Describe(header, summary);

  if (!job.unattended && Cancelled()) {
    rm::Print("\nCancelled. ");
    rm::Print(kUnchanged);
    rm::Print("\n");
    Finish(job, 3);
  }
  if (!image.Open(job.image, &error)) {
    FailStatus(job, "The image file cannot be opened.", Status::Fail(Fault::kFileOpen, 0, error),
               kUnchanged);
  }
  // From here on DOS must not touch drive C: its buffers no longer match.
  job.drive_c_written = true;
  ScreenProgress restoring("Restoring");
  s = RestoreImage(image, disks[0], drive_c.partition.first, drive_c.partition.count, workspace,
                   &restoring, &summary);
  restoring.Finish();
  if (!s.ok()) {
    FailStatus(job, "The restore stopped.", s,
               "Drive C is incomplete: start from a DOS boot disk and run HF again.");
  }
  rm::Print("Restore complete: ");
  PrintMegabytes(uint64_t{summary.data_sectors} * kSectorSize);
  rm::Print(" written to drive C.\n");
  Finish(job);
}

}  // namespace
}  // namespace orvane::dos

extern "C" int DosMain() { return orvane::dos::Run(); }
