// BF <image file>: backs drive C up into an image file, checks it, puts the
// normal boot menu back and restarts the computer.
#include "dos/engine/crc32.h"
#include "dos/job.h"

namespace orvane::dos {
namespace {

Workspace workspace;
rm::BiosDisk disks[4];
Job job;
DosImageFile image;

// Today in DOS's packed date and time (INT 21h AH=2Ah, AH=2Ch).
void Today(uint16_t* date, uint16_t* time) {
  rm::Regs r;
  r.eax = 0x2A00;
  rm::IntCall(0x21, r, r);
  *date = static_cast<uint16_t>(((r.cx() - 1980) << 9) | ((r.dx() >> 8) << 5) | (r.dx() & 0x1F));
  rm::Regs t;
  t.eax = 0x2C00;
  rm::IntCall(0x21, t, t);
  *time = static_cast<uint16_t>(((t.cx() >> 8) << 11) | ((t.cx() & 0x3F) << 5) | (t.dx() >> 9));
}

int Run() {
  rm::FailCriticalErrors();
  Crc32Init();
  rm::Print("Orvane BF 1.0: backs drive C up into an image file.\n");
  StartJob("BF", job);
  const int disk_count = OpenBiosDisks(disks, 4);
  if (disk_count == 0) Fail(job, "The BIOS reports no hard disk.", nullptr);
  ImageSource source;
  FindDriveC(job, disks[0], workspace, &source);
  ResolveImagePath(job, disks, disk_count, workspace);
  rm::Print("Image file: ");
  rm::Print(job.image);
  rm::Print("\n");
  const uint8_t target = DriveOf(job.image);
  if (target == 3) {
    Fail(job, "The image would be written to drive C, the drive being backed up.",
         "Choose an image on another drive.");
  }
  rm::DriveSpace space;
  if (!rm::DosDriveSpace(target, &space)) {
    Fail(job, "The image's drive cannot be read.", "Choose an image on a local FAT drive.");
  }

  // The image holds drive C as it will start next: with the normal menu.
  if (!RestoreBootFiles(job)) {
    Fail(job, "The normal boot menu cannot be put back.", nullptr);
  }
  ImageSummary plan;
  Status s = PlanImage(disks[0], source, workspace, &plan);
  if (!s.ok()) FailStatus(job, "Drive C cannot be read.", s, nullptr);
  const uint64_t free_bytes = uint64_t{space.free_clusters} * space.bytes_per_cluster +
                              DosImageFile::ExistingSize(job.image);
  const uint64_t needed = plan.bytes + uint64_t{space.bytes_per_cluster} * ((plan.bytes >> 31) + 1);
  if (free_bytes < needed) {
    rm::Print("The image needs ");
    PrintMegabytes(needed);
    rm::Print("; its drive has ");
    PrintMegabytes(free_bytes);
    rm::Print(" free.\n");
    Fail(job, "There is not enough free space for the image.",
         "Free some space on that drive, or choose another, and back up again.");
  }

  rm::Print("Drive C: ");
  PrintMegabytes(uint64_t{plan.data_sectors} * kSectorSize);
  rm::Print(" in use of ");
  PrintMegabytes(uint64_t{source.partition.count} * kSectorSize);
  rm::Print(".\n");
  uint16_t error = 0;
  image.LimitParts(job.part_size);
  if (!image.Create(job.image, &error)) {
    Status cause = Status::Fail(Fault::kFileOpen, 0, error);
    FailStatus(job, "The image file cannot be created", cause,
               "Check the image's drive and folder, and back up again.");
  }
  uint16_t date, time;
  Today(&date, &time);
  rm::Print("Writing the image. Do not switch the computer off.\n");
  ScreenProgress writing("Writing  ");
  ImageSummary written;
  s = WriteImage(disks[0], source, plan, date, time, image, workspace, &writing, &written);
  if (s.ok()) writing.Update(plan.data_sectors, plan.data_sectors);
  writing.Finish();
  if (s.ok()) s = image.Flush();
  if (s.ok() && !image.Close()) s = Status::Fail(Fault::kFileWrite);
  if (!s.ok()) {
    image.Discard();
    FailStatus(job, "The image could not be written.", s, "No image was made: back up again.");
  }

  DosImageFile check;
  ImageSummary verified;
  if (!check.Open(job.image, &error)) {
    s = Status::Fail(Fault::kFileOpen, 0, error);
  } else {
    ScreenProgress verifying("Verifying");
    s = VerifyImage(check, workspace, &verifying, nullptr, &verified);
    verifying.Finish();
    check.Close();
    if (s.ok() && verified.bytes != written.bytes) s = Status::Fail(Fault::kTrailerDamaged);
  }
  if (!s.ok()) {
    image.Discard();
    FailStatus(job, "The image does not read back correctly.", s,
               "The image's drive may be failing: back up to another drive.");
  }
  rm::Print("Backup complete and verified: ");
  PrintMegabytes(written.bytes);
  rm::Print(".\n");
  Finish(job);
}

}  // namespace
}  // namespace orvane::dos

extern "C" int DosMain() { return orvane::dos::Run(); }
