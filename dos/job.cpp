#include "dos/job.h"

#include "dos/engine/bytes.h"

namespace orvane::dos {
namespace {

constexpr char kTicketPath[] = "C:\\ORVANE.JOB";
constexpr char kSavedMenuPath[] = "C:\\BOOT.ORV";
constexpr char kMenuPath[] = "C:\\BOOT.INI";
constexpr char kNewMenuPath[] = "C:\\BOOT.NEW";
constexpr char kAutoexecPath[] = "C:\\AUTOEXEC.BAT";
constexpr char kSavedAutoexecPath[] = "C:\\AUTOEXEC.ORV";
constexpr char kNewAutoexecPath[] = "C:\\AUTOEXEC.NEW";
constexpr uint32_t kTicksPerDay = 0x1800B0;
constexpr uint16_t kMenuCapacity = 2048;

// Text files of drive C are small; this holds one at a time.
char file_text[kMenuCapacity];
char menu_text[kMenuCapacity];

// Reads a whole small file; false when it is missing or larger than
// `capacity`.
bool ReadSmallFile(const char* path, char* out, uint16_t capacity, uint16_t* size) {
  uint16_t handle;
  if (!rm::DosOpen(path, 0, &handle)) return false;
  const bool read = rm::DosRead(handle, out, capacity, size);
  rm::DosClose(handle);
  return read && *size < capacity;
}

bool WriteSmallFile(const char* path, const char* text, uint16_t size) {
  uint16_t handle, written = 0;
  rm::DosSetAttributes(path, 0);
  if (!rm::DosCreate(path, 0, &handle)) return false;
  const bool ok = rm::DosWrite(handle, text, size, &written) && written == size;
  rm::DosCommit(handle);
  return rm::DosClose(handle) && ok;
}

// Replaces `to` by `from`: the old file goes first, so that the rename
// cannot fail on an existing name. (A boot loader that finds no boot.ini
// starts the standard Windows entry.)
bool ReplaceFile(const char* from, const char* to) {
  rm::DosSetAttributes(to, 0);
  uint16_t error = 0;
  if (!rm::DosDelete(to, &error) && error != 2) return false;
  return rm::DosRename(from, to);
}

// Puts the user's C:\AUTOEXEC.BAT back: C:\AUTOEXEC.ORV, which the Windows
// side saved, with its attributes; without one, the batch file as it is
// less the job's line, so that DOS picked later from the menu does not run
// the job again. False when a file could not be written.
bool RestoreAutoexec() {
  uint16_t attributes = 0;
  if (rm::DosGetAttributes(kSavedAutoexecPath, &attributes)) {
    rm::DosSetAttributes(kSavedAutoexecPath, 0);
    if (!ReplaceFile(kSavedAutoexecPath, kAutoexecPath)) return false;
    rm::DosSetAttributes(kAutoexecPath, attributes);
    return true;
  }
  uint16_t size = 0;
  size_t length = 0;
  if (!ReadSmallFile(kAutoexecPath, file_text, sizeof file_text, &size) ||
      !WithoutJobLines(file_text, size, menu_text, sizeof menu_text, &length)) {
    return true;
  }
  rm::DosGetAttributes(kAutoexecPath, &attributes);
  if (!WriteSmallFile(kNewAutoexecPath, menu_text, static_cast<uint16_t>(length)) ||
      !ReplaceFile(kNewAutoexecPath, kAutoexecPath)) {
    return false;
  }
  rm::DosSetAttributes(kAutoexecPath, attributes);
  return true;
}

void TrimBlanks(char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r')) {
    text[--n] = 0;
  }
}

void CopyText(char* out, const char* text, size_t capacity) {
  size_t n = 0;
  for (; text[n] && n + 1 < capacity; ++n) out[n] = text[n];
  out[n] = 0;
}

// True when environment variable `name` is "1".
bool IsSet(const char* name) {
  char value[4];
  return rm::GetEnvironment(name, value, sizeof value) && value[0] == '1' && value[1] == 0;
}

uint32_t TicksSince(uint32_t start) {
  const uint32_t now = rm::BiosTicks();
  return now >= start ? now - start : now + kTicksPerDay - start;
}

// True when DOS's drive `drive` is the volume `v`. DOSes agree on the drive
// parameter block (its highest cluster is the cluster count + 1 in MS-DOS
// and FreeDOS alike) and on the volume serial, where they give them; they
// differ on the total that AH=36h and AX=7303h report (MS-DOS and DOSBox:
// the cluster count; FreeDOS: the count + 1). So the block and the serial
// decide where DOS has them, and the cluster size and that total, taken
// either way, only where it has neither (DOSBox).
bool IsDrive(const VolumeLayout& v, uint8_t drive) {
  rm::DriveSpace space;
  if (v.fs == FileSystem::kUnknown || !rm::DosDriveSpace(drive, &space) ||
      space.bytes_per_cluster != v.sectors_per_cluster * kSectorSize) {
    return false;
  }
  uint32_t serial = 0;
  if (v.has_serial && rm::DosVolumeSerial(drive, &serial) && serial != v.serial) return false;
  rm::DriveParams p;
  if (!rm::DosDriveParams(drive, &p)) {
    return space.total_clusters == v.cluster_count || space.total_clusters == v.cluster_count + 1;
  }
  return p.bytes_per_sector == kSectorSize && p.sectors_per_cluster == v.sectors_per_cluster &&
         p.reserved_sectors == v.reserved_sectors && p.fat_count == v.fat_count &&
         p.first_data_sector == v.first_data_sector && p.highest_cluster == v.cluster_count + 1 &&
         p.sectors_per_fat == v.sectors_per_fat;
}

// Asks DOS for the free space of drive C and then of the image's drive,
// once DOS has written drive C. Any DOS only reads its FAT for that. For
// DOSBox 0.74 it is what keeps the image readable: its FAT driver keeps one
// cached FAT sector for all its drives, known by the sector's number alone,
// so that after a file was written on C the image drive's first look-up at
// that number read drive C's entries, and the image read back cut short or
// damaged. A scan of C's whole FAT and then of the image drive's leaves a
// sector of the image drive's own in that cache.
void SettleDrives(const Job& job) {
  rm::DriveSpace space;
  rm::DosDriveSpace(3, &space);
  if (job.image[0]) {
    const uint8_t image_drive = DriveOf(job.image);
    if (image_drive != 3) rm::DosDriveSpace(image_drive, &space);
  }
}

}  // namespace

char* FormatNumber(uint32_t value, char* out) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  int k = 0;
  while (n) out[k++] = digits[--n];
  out[k] = 0;
  return out + k;
}

void FormatHex(uint32_t value, int digits, char* out) {
  int k = 0;
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out[k++] = "0123456789ABCDEF"[(value >> shift) & 15];
  }
  out[k] = 0;
}

namespace {

// "12.3" from 123; returns the end (the zero).
char* FormatTenths(uint32_t tenths, char* out) {
  char* end = FormatNumber(tenths / 10, out);
  *end++ = '.';
  *end++ = static_cast<char>('0' + tenths % 10);
  *end = 0;
  return end;
}

}  // namespace

void FormatMegabytes(uint64_t bytes, char* out) {
  // Tenths of a megabyte, from 64 KiB units so that no 64-bit division is
  // needed.
  CopyText(FormatTenths(static_cast<uint32_t>(bytes >> 16) * 10 / 16, out), " MB", 4);
}

namespace {

// A fault's text on the screen, in its language.
class ScreenFaultOut final : public FaultOut {
 public:
  void Say(Msg m, const char* first, const char* second) override { dos::Say(m, first, second); }
  void SayWith(Msg m, Msg words) override { dos::SayWith(m, words); }
};

}  // namespace

void ShowFault(const Status& s) {
  ScreenFaultOut out;
  FormatFault(s, out);
}

void StartJob(const char* name, Job& job) {
  job.name = name;
  job.unattended = IsSet("ORVANE_UNATTENDED");
  job.no_restart = IsSet("ORVANE_NO_RESTART");
  job.store = IsSet("ORVANE_STORE");
  char bytes[12];
  if (rm::GetEnvironment("ORVANE_PART_SIZE", bytes, sizeof bytes)) {
    for (const char* c = bytes; *c >= '0' && *c <= '9' && job.part_size < 0x10000000; ++c) {
      job.part_size = job.part_size * 10 + static_cast<uint32_t>(*c - '0');
    }
  }
  rm::CommandTail(job.argument, sizeof job.argument);
  TrimBlanks(job.argument);

  uint16_t size = 0;
  Ticket ticket;
  if (ReadSmallFile(kTicketPath, file_text, sizeof file_text, &size) &&
      ParseTicket(file_text, size, &ticket)) {
    job.ticket = ticket;
    job.has_ticket = TicketMatches(ticket, name, job.argument);
  }
  if (job.argument[0] == 0) {
    Fail(job, Msg::kNoImageNamed, job.name[0] == 'B' ? Msg::kBfUsage : Msg::kHfUsage);
  }
}

int OpenBiosDisks(rm::BiosDisk* disks, int max) {
  const int count = rm::BiosHardDiskCount();
  int opened = 0;
  for (int i = 0; i < count && opened < max; ++i) {
    if (disks[opened].Open(static_cast<uint8_t>(0x80 + i))) ++opened;
  }
  return opened;
}

uint8_t DriveOf(const char* path) {
  const char letter = static_cast<char>(path[0] & ~0x20);
  if (path[1] == ':' && letter >= 'A' && letter <= 'Z') return static_cast<uint8_t>(letter - '@');
  return rm::DosCurrentDrive();
}

void ResolveImagePath(Job& job, rm::BiosDisk* disks, int disk_count, Workspace& ws) {
  if (!job.has_ticket) {
    CopyText(job.image, job.argument, sizeof job.image);
    return;
  }
  // DOS letters drives differently from Windows: the volume serial says
  // which drive the Windows path meant. DOS answers where it can; else the
  // partitions' boot sectors give the serial and the drive parameter
  // blocks tell which letter each partition has.
  uint8_t found = 0;
  int matches = 0;
  for (uint8_t drive = 4; drive <= 26; ++drive) {
    uint32_t serial;
    if (rm::DosVolumeSerial(drive, &serial) && serial == job.ticket.serial) {
      found = drive;
      ++matches;
    }
  }
  if (matches == 0) {
    PartitionEntry parts[16];
    for (int d = 0; d < disk_count; ++d) {
      const int n = ReadPartitions(disks[d], parts, 16, ws.record);
      for (int i = 0; i < n; ++i) {
        VolumeLayout layout;
        if (!IsDosType(parts[i].type) ||
            !ReadVolumeLayout(disks[d], parts[i], ws.record, &layout).ok() || !layout.has_serial ||
            layout.serial != job.ticket.serial) {
          continue;
        }
        for (uint8_t drive = 4; drive <= 26; ++drive) {
          if (IsDrive(layout, drive)) {
            found = drive;
            ++matches;
          }
        }
      }
    }
  }
  if (matches != 1) {
    char serial[10];
    FormatHex(job.ticket.serial >> 16, 4, serial);
    serial[4] = '-';
    FormatHex(job.ticket.serial & 0xFFFF, 4, serial + 5);
    Say(Msg::kSerialIs, serial);
    Fail(job, matches == 0 ? Msg::kNoDriveHasSerial : Msg::kManyDrivesHaveSerial,
         Msg::kChooseLocalFatInWindows);
  }
  job.image[0] = static_cast<char>('@' + found);
  job.image[1] = ':';
  CopyText(job.image + 2, job.ticket.short_path, sizeof job.image - 2);
}

void FindDriveC(Job& job, rm::BiosDisk& disk, Workspace& ws, ImageSource* source) {
  PartitionEntry parts[16];
  const int n = ReadPartitions(disk, parts, 16, ws.record);
  int matches = 0;
  for (int i = 0; i < n; ++i) {
    VolumeLayout layout;
    if (!parts[i].primary || !IsDosType(parts[i].type) ||
        !ReadVolumeLayout(disk, parts[i], ws.record, &layout).ok() || !IsDrive(layout, 3)) {
      continue;
    }
    source->bios_disk = disk.drive();
    source->partition = parts[i];
    source->layout = layout;
    ++matches;
  }
  if (matches != 1) {
    Fail(job, matches == 0 ? Msg::kDriveCNotFat : Msg::kDriveCAmbiguous, Msg::kCannotWorkOnDriveC);
  }
}

bool RestoreBootFiles(Job& job) {
  if (job.menu_restored) return true;
  job.menu_restored = true;

  uint16_t attributes = 0x27;  // archive, system, hidden, read-only: Windows' own
  if (job.ticket.job[0]) {
    attributes = job.ticket.boot_attributes;
  } else {
    rm::DosGetAttributes(kMenuPath, &attributes);
  }

  bool ok = true;
  uint16_t size = 0;
  if (rm::DosGetAttributes(kSavedMenuPath, &size)) {
    rm::DosSetAttributes(kSavedMenuPath, 0);
    ok = ReplaceFile(kSavedMenuPath, kMenuPath);
  } else {
    const bool have_menu = ReadSmallFile(kMenuPath, file_text, sizeof file_text, &size);
    if (!have_menu || DefaultIsDos(file_text, size)) {
      const size_t made =
          ComposeNormalMenu(file_text, have_menu ? size : 0, menu_text, sizeof menu_text);
      ok = made != 0 && WriteSmallFile(kNewMenuPath, menu_text, static_cast<uint16_t>(made)) &&
           ReplaceFile(kNewMenuPath, kMenuPath);
    }
  }
  if (ok) rm::DosSetAttributes(kMenuPath, attributes);
  const bool batch_back = RestoreAutoexec();
  rm::DosSetAttributes(kTicketPath, 0);
  rm::DosDelete(kTicketPath);
  rm::FlushDiskCaches();
  SettleDrives(job);
  if (!ok || !batch_back) SetTone(Tone::kFailure);
  if (!ok) Say(Msg::kBootIniUnwritable);
  if (!batch_back) Say(Msg::kAutoexecNotBack);
  SetTone(Tone::kNormal);
  return ok;
}

bool DosImageFile::OpenPart(unsigned index, bool create, uint16_t* error) {
  char name[kPathCapacity];
  if (!ImagePartName(first_, index, name, sizeof name)) return false;
  // The extended-size open (MS-DOS 7.1) takes files up to 4 GiB.
  if (rm::DosVersion() >= 0x070A &&
      rm::DosExtendedOpen(name, create ? 0x1001 : 0x1000, create ? 0x12 : 0x01, &handle_, error)) {
    extended_ = true;
  } else if (create ? !rm::DosCreate(name, 0, &handle_, error)
                    : !rm::DosOpen(name, 0, &handle_, error)) {
    return false;
  }
  limit_ = extended_ ? kExtendedPartLimit : kPartLimit;
  if (part_size_ >= 0x10000 && part_size_ < limit_) limit_ = part_size_;
  index_ = index;
  in_part_ = 0;
  open_ = true;
  return true;
}

bool DosImageFile::Create(const char* first, uint16_t* error) {
  first_ = first;
  writing_ = true;
  total_ = 0;
  used_ = taken_ = 0;
  if (!OpenPart(0, true, error)) return false;
  char name[kPathCapacity];
  for (unsigned i = 1; i < kMaxParts && ImagePartName(first, i, name, sizeof name); ++i) {
    if (!rm::DosDelete(name)) break;
  }
  return true;
}

bool DosImageFile::Open(const char* first, uint16_t* error) {
  first_ = first;
  writing_ = false;
  ended_ = false;
  total_ = 0;
  used_ = taken_ = 0;
  return OpenPart(0, false, error);
}

namespace {

uint16_t NearOffset(const void* p) { return static_cast<uint16_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

bool DosImageFile::HaveBlock() {
  if (block_ == 0 && !no_block_ && !rm::DosAllocate(kBlockBytes / 16, &block_)) no_block_ = true;
  return block_ != 0;
}

Status DosImageFile::Put(uint16_t segment, uint16_t offset, uint32_t size) {
  while (size > 0) {
    if (in_part_ == limit_) {
      rm::DosClose(handle_);
      open_ = false;
      uint16_t error = 0;
      if (index_ + 1 >= kMaxParts) return Status::Fail(Fault::kFileFull, total_);
      if (!OpenPart(index_ + 1, true, &error)) return Status::Fail(Fault::kFileOpen, total_, error);
    }
    uint32_t n = limit_ - in_part_;
    if (n > size) n = size;
    if (n > kBlockBytes) n = kBlockBytes;
    uint16_t written = 0, error = 0;
    rm::TakeCriticalError();
    if (!rm::DosWriteFar(handle_, segment, offset, static_cast<uint16_t>(n), &written, &error)) {
      // The disk's own error, where DOS met one, says more than the code
      // DOS returns for it.
      const uint16_t critical = rm::TakeCriticalError();
      return Status::Fail(Fault::kFileWrite, total_, critical ? critical : error);
    }
    in_part_ += written;
    total_ += written;
    if (written != n) return Status::Fail(Fault::kFileFull, total_);
    offset = static_cast<uint16_t>(offset + n);
    size -= n;
  }
  return Status::Ok();
}

Status DosImageFile::Write(const uint8_t* data, uint32_t size) {
  if (!HaveBlock()) return Put(rm::DataSegment(), NearOffset(data), size);
  // Gathered into whole blocks, so that DOS writes them at offsets of
  // whole sectors: a write that starts inside a sector goes through DOS's
  // own buffers a sector at a time.
  while (size > 0) {
    const uint32_t room = kBlockBytes - used_;
    const uint16_t n = static_cast<uint16_t>(size < room ? size : room);
    rm::FarWrite(block_, static_cast<uint16_t>(used_), data, n);
    used_ += n;
    data += n;
    size -= n;
    if (used_ == kBlockBytes) {
      const Status s = Flush();
      if (!s.ok()) return s;
    }
  }
  return Status::Ok();
}

Status DosImageFile::Flush() {
  const uint32_t pending = used_;
  used_ = 0;
  return pending > 0 ? Put(block_, 0, pending) : Status::Ok();
}

Status DosImageFile::Fill(uint16_t segment, uint16_t offset, uint32_t size, uint32_t* got) {
  *got = 0;
  while (size > 0 && !ended_) {
    const uint16_t n = static_cast<uint16_t>(size > kBlockBytes ? kBlockBytes : size);
    uint16_t read = 0;
    if (!rm::DosReadFar(handle_, segment, offset, n, &read)) {
      return Status::Fail(Fault::kFileRead, total_);
    }
    offset = static_cast<uint16_t>(offset + read);
    size -= read;
    *got += read;
    in_part_ += read;
    total_ += read;
    if (read == 0) {
      // The end of this part: go on in the next one, if there is one.
      rm::DosClose(handle_);
      open_ = false;
      const uint32_t length = in_part_;
      if (index_ == 0) first_part_ = length;
      const unsigned next = index_ + 1;
      if (!OpenPart(next, false, nullptr)) {
        ended_ = true;
        // Every part but the last is as long as the first, and the first
        // is as long as DOS lets a file be, unless it is the last: a part
        // that long with none after it lacks the next.
        const bool full =
            next > 1 ? length == first_part_ : length == kExtendedPartLimit || length == kPartLimit;
        if (full) return Status::Fail(Fault::kPartMissing, total_, static_cast<uint16_t>(next));
      }
    }
  }
  return Status::Ok();
}

Status DosImageFile::Read(uint8_t* data, uint32_t size, uint32_t* got) {
  if (!HaveBlock()) return Fill(rm::DataSegment(), NearOffset(data), size, got);
  // Read ahead in whole blocks, from offsets of whole sectors, and handed
  // out from there.
  *got = 0;
  while (size > 0) {
    if (taken_ == used_) {
      taken_ = used_ = 0;
      uint32_t filled = 0;
      const Status s = Fill(block_, 0, kBlockBytes, &filled);
      used_ = filled;
      if (!s.ok()) return s;
      if (filled == 0) break;
    }
    const uint32_t ready = used_ - taken_;
    const uint16_t n = static_cast<uint16_t>(size < ready ? size : ready);
    rm::FarRead(block_, static_cast<uint16_t>(taken_), data, n);
    taken_ += n;
    data += n;
    size -= n;
    *got += n;
  }
  return Status::Ok();
}

bool DosImageFile::Close() {
  used_ = taken_ = 0;
  if (!open_) return true;
  open_ = false;
  if (writing_) rm::DosCommit(handle_);
  return rm::DosClose(handle_);
}

void DosImageFile::Discard() {
  Close();
  uint16_t handle;
  if (rm::DosCreate(first_, 0, &handle)) rm::DosClose(handle);
  char name[kPathCapacity];
  for (unsigned i = 1; i < kMaxParts && ImagePartName(first_, i, name, sizeof name); ++i) {
    if (!rm::DosDelete(name)) break;
  }
}

uint32_t DosImageFile::ExistingSize(const char* first) {
  uint16_t handle;
  uint32_t size = 0;
  if (!rm::DosOpen(first, 0, &handle)) return 0;
  if (!rm::DosSeek(handle, 0, 2, &size)) size = 0;
  rm::DosClose(handle);
  return size;
}

namespace {

// The figures of the progress, in English or the screen's language:
// `parts` are done and total, then the speed and the time left (each left
// out while empty).
void Figures(bool english, const char* const parts[4], char* out, size_t capacity) {
  static constexpr Msg kTexts[3] = {Msg::kDoneOfTotal, Msg::kSpeed, Msg::kTimeLeft};
  size_t n = 0;
  for (int i = 0; i < 3; ++i) {
    const char* first = parts[i == 0 ? 0 : i + 1];
    if (first[0] == 0) continue;
    char loaded[40];
    const char* pattern = EnglishText(kTexts[i]);
    if (!english) {
      LoadText(kTexts[i], loaded, sizeof loaded);
      pattern = loaded;
    }
    n += FillText(pattern, first, i == 0 ? parts[1] : nullptr, out + n, capacity - n);
  }
}

}  // namespace

void ScreenProgress::Update(uint32_t done, uint32_t total) {
  if (total == 0) return;
  const int percent =
      static_cast<int>(total > 0x01000000 ? done / (total / 100) : done * 100 / total);
  if (percent == last_percent_) return;
  if (last_percent_ < 0 && ScreenIsChinese()) BeginProgressBar(what_);
  last_percent_ = percent;
  const uint32_t ticks = TicksSince(start_);
  char done_text[16], total_text[16], speed_text[16], left_text[16];
  FormatMegabytes(uint64_t{done} * kSectorSize, done_text);
  FormatMegabytes(uint64_t{total} * kSectorSize, total_text);
  speed_text[0] = left_text[0] = 0;
  if (ticks >= 18 && done > 0) {
    // Kilobytes a second, and the seconds the rest takes at that speed.
    const uint32_t kb = done / 2;
    const uint32_t per_second = kb < 0x00FFFFFF ? kb * 182 / 10 / ticks : kb / ticks * 182 / 10;
    FormatMegabytes(uint64_t{per_second} * 1024, speed_text);
    if (per_second > 0) {
      const uint32_t left = (total - done) / 2 / per_second;
      char* end = FormatNumber(left / 60, left_text);
      *end++ = ':';
      if (left % 60 < 10) *end++ = '0';
      FormatNumber(left % 60, end);
    }
  }
  // Done of total, then the speed and the time left once known.
  const char* parts[4] = {done_text, total_text, speed_text, left_text};
  char figures[120];
  if (ScreenIsChinese()) {
    Figures(false, parts, figures, sizeof figures);
    DrawProgressBar(static_cast<uint32_t>(percent), figures);
  }
  if (!WritesEnglish()) return;
  // The English line, redrawn in place.
  char label[16], number[8];
  FillText(EnglishText(what_), nullptr, nullptr, label, sizeof label);
  rm::PrintChar('\r');
  rm::Print(label);
  rm::Print(" ");
  if (percent < 10) rm::PrintChar(' ');
  if (percent < 100) rm::PrintChar(' ');
  FormatNumber(static_cast<uint32_t>(percent), number);
  rm::Print(number);
  rm::Print("%  ");
  Figures(true, parts, figures, sizeof figures);
  rm::Print(figures);
  rm::Print("   ");
}

void ScreenProgress::Finish() {
  char seconds[16];
  FormatTenths(TicksSince(start_) * 100 / 182, seconds);
  if (ScreenIsChinese() && last_percent_ >= 0) EndProgressBar();
  if (WritesEnglish()) rm::Print("\n");
  SayWith(Msg::kTook, what_, seconds);
}

namespace {

[[noreturn]] void Restart() {
  ReturnBatchMemory();
  rm::Reboot();
}

[[noreturn]] void End(Job& job, Msg what, const Status* status, Msg advice) {
  if (!job.drive_c_written) RestoreBootFiles(job);
  SetTone(Tone::kFailure);
  Show("\n");
  Say(Msg::kFailed, job.name);
  if (what != kNoMessage) Say(what);
  if (status && what != kNoMessage && status->fault == Fault::kFileOpen) {
    // `what` is the sentence (without its full stop): only why follows.
    Msg why;
    if (DosErrorMessage(status->detail, &why)) SayWith(Msg::kBecause, why);
    Say(Msg::kFullStop);
  } else if (status) {
    if (what != kNoMessage) Show(" ");
    ShowFault(*status);
  }
  Show("\n");
  SetTone(Tone::kAdvice);
  if (!job.drive_c_written) Say(Msg::kNotChanged);
  if (advice != kNoMessage) {
    Say(advice);
    Show("\n");
  }
  SetTone(Tone::kNormal);
  if (job.unattended) Leave(1);
  Say(Msg::kPressAKey);
  const uint32_t start = rm::BiosTicks();
  while (TicksSince(start) < 60 * 182 / 10 && rm::TakeKey() == 0) {
  }
  if (job.no_restart) Leave(1);
  Restart();
}

}  // namespace

void Leave(uint8_t code) {
  ReturnBatchMemory();
  CloseScreen();
  rm::Exit(code);
}

void Fail(Job& job, Msg what, Msg advice) { End(job, what, nullptr, advice); }

void FailStatus(Job& job, Msg what, const Status& s, Msg advice) { End(job, what, &s, advice); }

void Finish(const Job& job, uint8_t code) {
  if (job.unattended || job.no_restart) Leave(code);
  Say(Msg::kRestarting);
  Restart();
}

}  // namespace orvane::dos
