// PROBE.COM: runs the real-mode layer's services and prints what they
// give, one "key=value" line each, for dos/tests/probe_test.py.
//
//   PROBE [FACTS]                  disks, partitions, drive C:, environment
//   PROBE FILES d:                 file calls on drive d:
//   PROBE VERIFY disk first count generation
//   PROBE WRITE disk first count generation
//                                  reads (or writes) sectors of BIOS disk
//                                  `disk` (hex) filled with Pattern()
//   PROBE READ disk first count [per_call]
//                                  reads sectors of BIOS disk `disk` (hex),
//                                  64 (or `per_call`, at most 80) a call
//   PROBE REWRITE disk first count reads sectors and writes them back as
//                                  they were; both say how long it took
//   PROBE FILEREAD path            reads a file through DOS, 32 KB a call
//   PROBE CRC megabytes            the CRC-32 of that many megabytes
//                                  each of these three says how long it took
//   PROBE EXIT code                ends through Exit(code)
#include "dos/engine/crc32.h"
#include "dos/rm/dos_api.h"

using orvane::dos::Fault;
using orvane::dos::Status;
namespace rm = orvane::dos::rm;

namespace {

// Large enough that a 64 KB physical boundary falls inside it for at
// least one of two load addresses 32 KB apart.
uint8_t buffer[40 * 1024];

// --- Output ------------------------------------------------------------

void PrintDec(uint32_t value) {
  char text[11];
  int at = 10;
  text[at] = 0;
  do {
    text[--at] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  rm::Print(text + at);
}

void PrintHex(uint32_t value, int digits) {
  char text[9];
  text[digits] = 0;
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[i] = "0123456789ABCDEF"[value & 15];
  rm::Print(text);
}

void Key(const char* prefix, const char* key) {
  rm::Print(prefix);
  rm::Print(key);
  rm::PrintChar('=');
}

void Line(const char* prefix, const char* key, uint32_t value) {
  Key(prefix, key);
  PrintDec(value);
  rm::PrintChar('\n');
}

void LineHex(const char* prefix, const char* key, uint32_t value, int digits) {
  Key(prefix, key);
  PrintHex(value, digits);
  rm::PrintChar('\n');
}

void LineText(const char* prefix, const char* key, const char* value) {
  Key(prefix, key);
  rm::Print(value);
  rm::PrintChar('\n');
}

// "fault F where W detail D", the numbers in decimal.
void PrintFault(const Status& status) {
  rm::Print("fault ");
  PrintDec(static_cast<uint32_t>(status.fault));
  rm::Print(" where ");
  PrintDec(status.where);
  rm::Print(" detail ");
  PrintDec(status.detail);
}

// "ok", or "error N" with DOS's error code (`error` is read after `ok` has
// been worked out).
bool Outcome(const char* prefix, const char* key, bool ok, const uint16_t& error) {
  Key(prefix, key);
  if (ok) {
    rm::Print("ok\n");
  } else {
    rm::Print("error ");
    PrintDec(error);
    rm::PrintChar('\n');
  }
  return ok;
}

// --- The command tail ----------------------------------------------------

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

class Words {
 public:
  Words() {
    rm::CommandTail(text_, sizeof(text_));
    next_ = text_;
  }
  // The next blank-separated word in capitals; "" after the last.
  const char* Next() {
    while (*next_ == ' ') ++next_;
    char* word = next_;
    while (*next_ && *next_ != ' ') {
      *next_ = Upper(*next_);
      ++next_;
    }
    if (*next_) *next_++ = 0;
    return word;
  }

 private:
  char text_[128];
  char* next_;
};

bool Same(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

uint32_t Number(const char* text, uint32_t base) {
  uint32_t value = 0;
  for (; *text; ++text) {
    const char c = *text;
    const uint32_t digit =
        c >= 'A' ? static_cast<uint32_t>(c - 'A' + 10) : static_cast<uint32_t>(c - '0');
    value = value * base + digit;
  }
  return value;
}

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const uint8_t* p) { return Word(p) | (uint32_t{Word(p + 2)} << 16); }

// --- FACTS ---------------------------------------------------------------

void PrintBootSector(const char* prefix, rm::BiosDisk& disk, uint32_t lba) {
  const Status status = disk.Read(lba, 1, buffer);
  if (!status.ok()) {
    Key(prefix, "boot");
    PrintFault(status);
    rm::PrintChar('\n');
    return;
  }
  Line(prefix, "boot.bytes_per_sector", Word(buffer + 0x0B));
  Line(prefix, "boot.sectors_per_cluster", buffer[0x0D]);
  // FAT12/16 keep the extended fields at 24h, FAT32 at 40h.
  const bool fat32 = Word(buffer + 0x16) == 0;
  const uint8_t* extended = buffer + (fat32 ? 0x40 : 0x24);
  LineHex(prefix, "boot.serial", Dword(extended + 3), 8);
  char type[9] = {};
  for (int i = 0; i < 8; ++i) type[i] = static_cast<char>(extended[0x12 + i]);
  LineText(prefix, "boot.type", type);
}

void PrintDisk(uint8_t drive) {
  char prefix[] = "disk00.";
  prefix[4] = "0123456789ABCDEF"[drive >> 4];
  prefix[5] = "0123456789ABCDEF"[drive & 15];
  rm::BiosDisk disk;
  if (!disk.Open(drive)) {
    LineText(prefix, "open", "no");
    return;
  }
  LineText(prefix, "open", "yes");
  LineText(prefix, "extensions", disk.extensions() ? "yes" : "no");
  Line(prefix, "sectors", disk.SectorCount());
  const Status status = disk.Read(0, 1, buffer);
  if (!status.ok()) {
    Key(prefix, "mbr");
    PrintFault(status);
    rm::PrintChar('\n');
    return;
  }
  LineHex(prefix, "signature", Word(buffer + 510), 4);
  if (Word(buffer + 510) != 0xAA55) return;
  uint32_t first_start = 0;
  for (int i = 0; i < 4; ++i) {
    const uint8_t* entry = buffer + 446 + 16 * i;
    if (entry[4] == 0) continue;
    char key[] = "part0";
    key[4] = static_cast<char>('1' + i);
    Key(prefix, key);
    rm::Print("active ");
    PrintHex(entry[0], 2);
    rm::Print(" type ");
    PrintHex(entry[4], 2);
    rm::Print(" start ");
    PrintDec(Dword(entry + 8));
    rm::Print(" sectors ");
    PrintDec(Dword(entry + 12));
    rm::PrintChar('\n');
    if (first_start == 0) first_start = Dword(entry + 8);
  }
  // The MBR sits in the buffer; the boot sector replaces it.
  if (first_start != 0) PrintBootSector(prefix, disk, first_start);
}

int Facts() {
  const uint16_t version = rm::DosVersion();
  LineHex("", "dos.version", version, 4);
  LineHex("", "segment.psp", rm::PspSegment(), 4);
  LineHex("", "segment.data", rm::DataSegment(), 4);
  Line("", "bios.disks", rm::BiosHardDiskCount());
  for (uint8_t drive = 0x80; drive <= 0x82; ++drive) PrintDisk(drive);

  rm::DriveParams params;
  if (rm::DosDriveParams(3, &params)) {
    Line("driveC.", "bytes_per_sector", params.bytes_per_sector);
    Line("driveC.", "sectors_per_cluster", params.sectors_per_cluster);
    Line("driveC.", "reserved_sectors", params.reserved_sectors);
    Line("driveC.", "fat_count", params.fat_count);
    Line("driveC.", "first_data_sector", params.first_data_sector);
    Line("driveC.", "highest_cluster", params.highest_cluster);
    Line("driveC.", "sectors_per_fat", params.sectors_per_fat);
  } else {
    LineText("driveC.", "params", "none");
  }
  rm::DriveSpace space;
  if (rm::DosDriveSpace(3, &space)) {
    Line("driveC.", "bytes_per_cluster", space.bytes_per_cluster);
    Line("driveC.", "free_clusters", space.free_clusters);
    Line("driveC.", "total_clusters", space.total_clusters);
  } else {
    LineText("driveC.", "space", "none");
  }
  // What DOS's AH=32h points at, raw.
  rm::Regs r;
  r.ah = 0x32;
  r.dl = 3;
  rm::IntCall(0x21, r, r);
  if (r.al == 0) {
    uint8_t dpb[0x18];
    rm::FarRead(r.ds, r.bx, dpb, sizeof(dpb));
    Key("driveC.", "dpb");
    for (uint8_t byte : dpb) PrintHex(byte, 2);
    rm::PrintChar('\n');
  }
  uint32_t serial = 0;
  if (rm::DosVolumeSerial(3, &serial)) {
    LineHex("driveC.", "serial", serial, 8);
  } else {
    LineText("driveC.", "serial", "unknown");
  }
  Line("driveZ.", "params", rm::DosDriveParams(26, &params) ? 1 : 0);

  char value[64];
  LineText("env.", "ORVANE_PROBE",
           rm::GetEnvironment("ORVANE_PROBE", value, sizeof(value)) ? value : "(unset)");
  LineText("env.", "orvane_probe",
           rm::GetEnvironment("orvane_probe", value, sizeof(value)) ? value : "(unset)");
  LineText("env.", "ORVANE",
           rm::GetEnvironment("ORVANE", value, sizeof(value)) ? value : "(unset)");
  LineText("env.", "ORVANE_ABSENT",
           rm::GetEnvironment("ORVANE_ABSENT", value, sizeof(value)) ? value : "(unset)");
  LineText("env.", "ORVANE_PROBE_in_4",
           rm::GetEnvironment("ORVANE_PROBE", value, 4) ? value : "(too long)");

  // INT 25h returns with the caller's flags still on the stack: the stub
  // must take them off, or the return goes astray. 99h has no stub.
  r = rm::Regs{};
  r.al = 2;  // C:, sector 0, one sector
  r.cx = 1;
  r.bx = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(buffer));
  rm::IntCall(0x25, r, r);
  Line("", "int25.carry", r.carry() ? 1 : 0);
  r = rm::Regs{};
  rm::IntCall(0x99, r, r);
  Line("", "int99.carry", r.carry() ? 1 : 0);

  // The XMS driver: a block of 64 KB, 32 KB copied into it at an offset
  // past 64 KB's half and back to another place, then the block given back.
  if (rm::XmsFind()) {
    const uint16_t largest = rm::XmsLargestFree();
    Line("xms.", "largest_kb", largest);
    uint16_t handle = 0;
    if (rm::XmsAllocate(64, &handle)) {
      for (uint16_t i = 0; i < 0x8000; ++i) buffer[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
      const uint32_t near = uint32_t{rm::DataSegment()} << 16;
      rm::XmsCopy in{0x8000, 0, near | static_cast<uint16_t>(reinterpret_cast<uintptr_t>(buffer)),
                     handle, 30000};
      rm::XmsCopy out{0x8000, handle, 30000, 0,
                      near | static_cast<uint16_t>(reinterpret_cast<uintptr_t>(buffer + 0x1000))};
      bool same = rm::XmsMove(in);
      for (uint16_t i = 0; i < 0x9000; ++i) buffer[i] = 0;
      same = rm::XmsMove(out) && same;
      for (uint16_t i = 0; i < 0x8000; ++i) {
        if (buffer[0x1000 + i] != static_cast<uint8_t>(i * 7 + (i >> 8))) same = false;
      }
      LineText("xms.", "copy", same ? "ok" : "differs");
      Line("xms.", "freed", rm::XmsFree(handle) ? 1 : 0);
      Line("xms.", "largest_kb_after", rm::XmsLargestFree());
    } else {
      LineText("xms.", "copy", "no block");
    }
  } else {
    LineText("xms.", "driver", "none");
  }

  Line("", "ticks", rm::BiosTicks());
  Line("", "key", rm::TakeKey());
  rm::FlushDiskCaches();
  LineText("", "flush", "done");
  return 0;
}

// --- FILES ---------------------------------------------------------------

// The byte at `position` of the test file: differs between positions
// 64 KB apart, so a misplaced seek shows.
uint8_t FileByte(uint32_t position) { return static_cast<uint8_t>(position * 7 + (position >> 9)); }

constexpr uint32_t kFileSize = 70000;
constexpr uint16_t kFileBlock = 10000;

int Files(const char* drive) {
  if (drive[0] == 0) return 1;
  char path1[] = "?:\\PROBE1.TMP", path2[] = "?:\\PROBE2.TMP", path3[] = "?:\\PROBE3.TMP";
  path1[0] = path2[0] = path3[0] = drive[0];
  bool all = true;
  uint16_t handle = 0, error = 0, done = 0;

  if (!Outcome("files.", "create", rm::DosCreate(path1, 0, &handle, &error), error)) return 2;
  bool ok = true;
  for (uint32_t at = 0; at < kFileSize && ok; at += kFileBlock) {
    for (uint16_t i = 0; i < kFileBlock; ++i) buffer[i] = FileByte(at + i);
    ok = rm::DosWrite(handle, buffer, kFileBlock, &done, &error) && done == kFileBlock;
  }
  all &= Outcome("files.", "write", ok, error);
  uint32_t position = 0;
  rm::DosSeek(handle, 0, 2, &position);
  Line("files.", "size", position);
  rm::DosSeek(handle, 65536 + 100, 0, &position);
  Line("files.", "seek", position);
  ok = rm::DosRead(handle, buffer, 16, &done, &error) && done == 16;
  for (uint16_t i = 0; i < 16 && ok; ++i) ok = buffer[i] == FileByte(65536 + 100 + i);
  LineText("files.", "readback", ok ? "ok" : "bad");
  all &= ok;
  all &= Outcome("files.", "commit", rm::DosCommit(handle), 0);
  all &= Outcome("files.", "close", rm::DosClose(handle), 0);

  all &= Outcome("files.", "rename", rm::DosRename(path1, path2, &error), error);
  Outcome("files.", "open_old_name", rm::DosOpen(path1, 0, &handle, &error), error);
  if (Outcome("files.", "extended_open", rm::DosExtendedOpen(path2, 0, 1, &handle, &error),
              error)) {
    uint32_t at = 0;
    ok = true;
    while (ok && rm::DosRead(handle, buffer, kFileBlock, &done, &error) && done > 0) {
      for (uint16_t i = 0; i < done && ok; ++i) ok = buffer[i] == FileByte(at + i);
      at += done;
    }
    LineText("files.", "content", ok && at == kFileSize ? "ok" : "bad");
    all &= ok && at == kFileSize;
    rm::DosClose(handle);
  } else {
    all = false;
  }
  uint16_t attributes = 0;
  if (rm::DosGetAttributes(path2, &attributes)) LineHex("files.", "attributes", attributes, 2);
  all &= Outcome("files.", "delete", rm::DosDelete(path2, &error), error);
  Outcome("files.", "delete_again", rm::DosDelete(path2, &error), error);

  // A file left behind for the test to read: replaced if it is there.
  static const char kKept[] = "Left by PROBE.COM\r\n";
  ok = rm::DosExtendedOpen(path3, 2, 0x12, &handle, &error) &&
       rm::DosWrite(handle, kKept, sizeof(kKept) - 1, &done, &error) && done == sizeof(kKept) - 1 &&
       rm::DosClose(handle);
  all &= Outcome("files.", "keep", ok, error);
  return all ? 0 : 2;
}

// --- VERIFY and WRITE ----------------------------------------------------

// Where the 64 KB physical boundary falls in the buffer; 0 when it does not.
uint32_t BoundaryInBuffer() {
  const uint32_t start = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer));
  const uint32_t boundary =
      (0x10000 - ((uint32_t{rm::DataSegment()} * 16 + start) & 0xFFFF)) & 0xFFFF;
  return boundary < sizeof(buffer) ? boundary : 0;
}

// The dword `index` of sector `lba` in generation `generation`.
uint32_t Pattern(uint32_t lba, uint32_t index, uint32_t generation) {
  return lba * 0x9E3779B1u + index * 0x85EBCA77u + generation * 0x01000193u;
}

// Chunk sizes and offsets into the buffer, taken in turn: every second
// chunk is laid across the 64 KB boundary when the buffer holds one.
constexpr uint16_t kChunks[] = {1, 3, 17, 63, 64, 79, 2, 40, 7};
constexpr uint16_t kSkews[] = {0, 1, 16, 200, 511, 256, 100};

int Sectors(bool write, const char* disk_text, const char* first_text, const char* count_text,
            const char* generation_text) {
  const uint8_t drive = static_cast<uint8_t>(Number(disk_text, 16));
  uint32_t lba = Number(first_text, 10), remaining = Number(count_text, 10);
  const uint32_t generation = Number(generation_text, 10);
  rm::BiosDisk disk;
  if (!disk.Open(drive)) {
    LineText(write ? "write" : "verify", "", "no disk");
    return 4;
  }
  const uint32_t boundary = BoundaryInBuffer();
  const bool inside = boundary > 0;
  uint32_t straddled = 0, bounced = 0, calls = 0;

  for (uint32_t i = 0; remaining > 0; ++i) {
    const uint32_t n = remaining < kChunks[i % 9] ? remaining : kChunks[i % 9];
    const uint32_t size = n * 512, room = sizeof(buffer) - size;
    const uint32_t skew = kSkews[i % 7];
    uint32_t offset = skew <= room ? skew : room;
    if (inside && i % 2 == 0) {
      const uint32_t want = boundary > size / 2 + skew ? boundary - size / 2 - skew : 0;
      offset = want <= room ? want : room;
    }
    if (boundary > offset && boundary < offset + size) {
      ++straddled;
      if ((boundary - offset) % 512 != 0) ++bounced;
    }
    uint8_t* data = buffer + offset;
    Status status;
    if (write) {
      for (uint32_t s = 0; s < n; ++s) {
        for (uint32_t j = 0; j < 128; ++j) {
          const uint32_t v = Pattern(lba + s, j, generation);
          uint8_t* p = data + s * 512 + j * 4;
          p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
          p[2] = static_cast<uint8_t>(v >> 16), p[3] = static_cast<uint8_t>(v >> 24);
        }
      }
      status = disk.Write(lba, static_cast<uint16_t>(n), data);
    } else {
      status = disk.Read(lba, static_cast<uint16_t>(n), data);
    }
    ++calls;
    if (!status.ok()) {
      Key(write ? "write" : "verify", "");
      PrintFault(status);
      rm::PrintChar('\n');
      return 4;
    }
    if (!write) {
      for (uint32_t s = 0; s < n; ++s) {
        for (uint32_t j = 0; j < 128; ++j) {
          const uint32_t got = Dword(data + s * 512 + j * 4);
          if (got != Pattern(lba + s, j, generation)) {
            Key("verify", "");
            rm::Print("bad lba ");
            PrintDec(lba + s);
            rm::Print(" dword ");
            PrintDec(j);
            rm::Print(" got ");
            PrintHex(got, 8);
            rm::PrintChar('\n');
            return 3;
          }
        }
      }
    }
    lba += n;
    remaining -= n;
  }
  const char* what = write ? "write" : "verify";
  LineText(what, "", "ok");
  Line(what, ".calls", calls);
  Line(what, ".boundary_inside", inside ? 1 : 0);
  Line(what, ".straddled", straddled);
  Line(what, ".bounced", bounced);
  return 0;
}

// --- READ and REWRITE ---------------------------------------------------

constexpr uint16_t kBlockSectors = 64;  // 32 KB a call
constexpr uint32_t kTicksPerDay = 0x1800B0;

uint32_t TicksSince(uint32_t start) {
  const uint32_t now = rm::BiosTicks();
  return now >= start ? now - start : now + kTicksPerDay - start;
}

void Took(const char* what, uint32_t ticks) {
  Line(what, ".ticks", ticks);
  Line(what, ".tenths", ticks * 100 / 182);
}

int Timed(bool rewrite, const char* disk_text, const char* first_text, const char* count_text,
          const char* per_call_text) {
  const char* what = rewrite ? "rewrite" : "read";
  const uint8_t drive = static_cast<uint8_t>(Number(disk_text, 16));
  uint32_t lba = Number(first_text, 10), remaining = Number(count_text, 10);
  rm::BiosDisk disk;
  if (!disk.Open(drive)) {
    LineText(what, "", "no disk");
    return 4;
  }
  // The block lies where no 64 KB boundary cuts it when the buffer has room
  // for that; else BiosDisk splits the calls that cross it.
  uint32_t per_call = per_call_text[0] ? Number(per_call_text, 10) : kBlockSectors;
  if (per_call == 0 || per_call > sizeof(buffer) / 512) per_call = kBlockSectors;
  const uint32_t boundary = BoundaryInBuffer(), size = per_call * 512;
  uint8_t* block = boundary > 0 && boundary < size && boundary + size <= sizeof(buffer)
                       ? buffer + boundary
                       : buffer;
  const uint32_t sectors = remaining;
  const uint32_t start = rm::BiosTicks();
  while (remaining > 0) {
    const uint16_t n = static_cast<uint16_t>(remaining < per_call ? remaining : per_call);
    Status status = disk.Read(lba, n, block);
    if (status.ok() && rewrite) status = disk.Write(lba, n, block);
    if (!status.ok()) {
      Key(what, "");
      PrintFault(status);
      rm::PrintChar('\n');
      return 4;
    }
    lba += n;
    remaining -= n;
  }
  const uint32_t ticks = TicksSince(start);
  Line(what, ".sectors", sectors);
  Line(what, ".per_call", per_call);
  Took(what, ticks);
  return 0;
}

int FileRead(const char* path) {
  uint16_t handle = 0, error = 0;
  if (!rm::DosOpen(path, 0, &handle, &error)) {
    Line("fileread", ".error", error);
    return 4;
  }
  uint32_t bytes = 0;
  const uint32_t start = rm::BiosTicks();
  for (;;) {
    uint16_t got = 0;
    if (!rm::DosRead(handle, buffer, 0x8000, &got, &error)) {
      Line("fileread", ".error", error);
      return 4;
    }
    if (got == 0) break;
    bytes += got;
  }
  const uint32_t ticks = TicksSince(start);
  rm::DosClose(handle);
  Line("fileread", ".bytes", bytes);
  Took("fileread", ticks);
  return 0;
}

int Crc(const char* megabytes_text) {
  const uint32_t blocks = Number(megabytes_text, 10) * 32;
  orvane::dos::Crc32Init();
  uint32_t crc = 0;
  const uint32_t start = rm::BiosTicks();
  for (uint32_t i = 0; i < blocks; ++i) crc = orvane::dos::Crc32(crc, buffer, 0x8000);
  const uint32_t ticks = TicksSince(start);
  LineHex("crc", "", crc, 8);
  Line("crc", ".bytes", blocks * 0x8000);
  Took("crc", ticks);
  return 0;
}

}  // namespace

extern "C" int DosMain() {
  Words words;
  const char* command = words.Next();
  if (command[0] == 0 || Same(command, "FACTS")) {
    char tail[128];
    rm::CommandTail(tail, sizeof(tail));
    LineText("", "tail", tail);
    return Facts();
  }
  if (Same(command, "FILES")) return Files(words.Next());
  if (Same(command, "VERIFY") || Same(command, "WRITE")) {
    const char* disk = words.Next();
    const char* first = words.Next();
    const char* count = words.Next();
    return Sectors(Same(command, "WRITE"), disk, first, count, words.Next());
  }
  if (Same(command, "READ") || Same(command, "REWRITE")) {
    const char* disk = words.Next();
    const char* first = words.Next();
    const char* count = words.Next();
    return Timed(Same(command, "REWRITE"), disk, first, count, words.Next());
  }
  if (Same(command, "FILEREAD")) return FileRead(words.Next());
  if (Same(command, "CRC")) return Crc(words.Next());
  if (Same(command, "EXIT")) rm::Exit(static_cast<uint8_t>(Number(words.Next(), 10)));
  rm::Print(
      "usage: PROBE [FACTS | FILES d: | VERIFY|WRITE disk first count generation |\n"
      "              READ|REWRITE disk first count [per_call] | FILEREAD path |\n"
      "              CRC megabytes | EXIT n]\n");
  return 1;
}
