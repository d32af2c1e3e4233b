// BF <image file>: backs drive C up into an image file, checks it, puts the
// normal boot menu back and restarts the computer.
#include "dos/engine/crc32.h"
#include "dos/job.h"

namespace orvane::dos {
namespace {

Workspace workspace;
// Chunks are compressed into the second half of workspace.data: the data
// segment has no room for a buffer of their own.
Lz4Table table;
rm::BiosDisk disks[4];
Job job;
DosImageFile image;

int Run() {
  rm::FailCriticalErrors();
  rm::IgnoreBreak();
  Crc32Init();
  OpenScreen();
  SetTone(Tone::kTitle);
  Say(Msg::kBfTitle);
  SetTone(Tone::kNormal);
  StartJob("BF", job);
  // Before DosImageFile takes its block, which must still fit beside it.
  workspace.batch = TakeBatchMemory();
  if (!job.store) {
    workspace.packed = workspace.data + kChunkSectors / 2 * kSectorSize;
    workspace.table = &table;
  }
  const int disk_count = OpenBiosDisks(disks, 4);
  if (disk_count == 0) Fail(job, Msg::kNoHardDisk, Msg::kCheckTheDisk);
  ImageSource source;
  FindDriveC(job, disks[0], workspace, &source);
  ResolveImagePath(job, disks, disk_count, workspace);
  Say(Msg::kImageFile, job.image);
  const uint8_t target = DriveOf(job.image);
  if (target == 3) Fail(job, Msg::kImageOnDriveCBackup, Msg::kChooseAnotherDrive);
  rm::DriveSpace space;
  if (!rm::DosDriveSpace(target, &space)) {
    Fail(job, Msg::kImageDriveUnreadable, Msg::kChooseLocalFat);
  }

  // The image holds drive C as it will start next: with the normal menu.
  if (!RestoreBootFiles(job)) Fail(job, Msg::kMenuNotBack, kNoMessage);
  ImageSummary plan;
  Status s = PlanImage(disks[0], source, workspace, &plan);
  if (!s.ok()) FailStatus(job, Msg::kDriveCUnreadable, s, Msg::kCheckDriveC);
  const uint64_t free_bytes = uint64_t{space.free_clusters} * space.bytes_per_cluster +
                              DosImageFile::ExistingSize(job.image);
  const uint64_t needed = plan.bytes + uint64_t{space.bytes_per_cluster} * ((plan.bytes >> 31) + 1);
  char first[16], second[16];
  if (free_bytes < needed) {
    FormatMegabytes(needed, first);
    FormatMegabytes(free_bytes, second);
    Say(Msg::kImageNeeds, first, second);
    Fail(job, Msg::kNotEnoughSpace, Msg::kFreeSomeSpace);
  }

  FormatMegabytes(uint64_t{plan.data_sectors + plan.left_out_sectors} * kSectorSize, first);
  FormatMegabytes(uint64_t{source.partition.count} * kSectorSize, second);
  Say(Msg::kDriveCInUse, first, second);
  if (plan.left_out_sectors) {
    FormatMegabytes(uint64_t{plan.left_out_sectors} * kSectorSize, first);
    Say(Msg::kLeftOut, first);
  }
  uint16_t error = 0;
  image.LimitParts(job.part_size);
  if (!image.Create(job.image, &error)) {
    Status cause = Status::Fail(Fault::kFileOpen, 0, error);
    FailStatus(job, Msg::kCannotCreateImage, cause, Msg::kCheckImageFolder);
  }
  uint16_t date, time;
  rm::DosDateTime(&date, &time);
  SetTone(Tone::kAdvice);
  Say(Msg::kWritingImage);
  SetTone(Tone::kNormal);
  ScreenProgress writing(Msg::kWriting);
  ImageSummary written;
  s = WriteImage(disks[0], source, plan, date, time, image, workspace, &writing, &written);
  if (s.ok()) writing.Update(plan.data_sectors, plan.data_sectors);
  writing.Finish();
  if (s.ok()) s = image.Flush();
  if (s.ok() && !image.Close()) s = Status::Fail(Fault::kFileWrite);
  if (!s.ok()) {
    image.Discard();
    FailStatus(job, Msg::kImageNotWritten, s, Msg::kBackUpAgain);
  }

  DosImageFile check;
  ImageSummary verified;
  if (!check.Open(job.image, &error)) {
    s = Status::Fail(Fault::kFileOpen, 0, error);
  } else {
    ScreenProgress verifying(Msg::kVerifying);
    s = VerifyImage(check, workspace, &verifying, nullptr, &verified);
    verifying.Finish();
    check.Close();
    if (s.ok() && verified.bytes != written.bytes) s = Status::Fail(Fault::kTrailerDamaged);
  }
  if (!s.ok()) {
    image.Discard();
    FailStatus(job, Msg::kImageNotReadBack, s, Msg::kBackUpElsewhere);
  }
  FormatMegabytes(written.bytes, first);
  SetTone(Tone::kGood);
  Say(Msg::kBackupComplete, first);
  SetTone(Tone::kNormal);
  Finish(job);
}

}  // namespace
}  // namespace orvane::dos

extern "C" int DosMain() { return orvane::dos::Run(); }
