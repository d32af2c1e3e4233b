#include "app/handover.h"

#include <memory>
#include <vector>

#include "app/file_replace.h"
#include "app/volume_facts.h"
#include "dos/engine/image.h"
#include "system/code_page.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

constexpr char16_t kBootIni[] = u"C:\\boot.ini";
constexpr char16_t kSavedMenu[] = u"C:\\BOOT.ORV";
constexpr char16_t kTicket[] = u"C:\\ORVANE.JOB";
constexpr char16_t kAutoexec[] = u"C:\\AUTOEXEC.BAT";
constexpr char16_t kSavedAutoexec[] = u"C:\\AUTOEXEC.ORV";
constexpr char16_t kDosBoot[] = u"C:\\BOOTSECT.DOS";
// What XP gives its own boot.ini: read-only, hidden, system, archive.
constexpr DWORD kUsualMenuAttributes = 0x27;
constexpr char16_t kNewerImage[] = u"它由更新版本的 Orvane 制作";

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// File systems DOS reads.
bool DosReads(const std::u16string& file_system) {
  return file_system == u"FAT" || file_system == u"FAT32" || file_system == u"FAT12" ||
         file_system == u"FAT16";
}

bool OnDrive(const std::u16string& path, char16_t letter) {
  return path.size() >= 2 && path[1] == u':' && Upper(path[0]) == letter;
}

// "E:\" for a path on a drive letter; empty for anything else (a UNC path).
std::u16string RootOf(const std::u16string& path) {
  if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') return u"";
  return path.substr(0, 3);
}

std::string Utf8(const std::u16string& text) {
  const auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), size, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::u16string FromUtf8(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> out(size > 0 ? size : 1);
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), size);
  return reinterpret_cast<const char16_t*>(out.data());
}

// Part `index` of an image, named as the DOS side names it (the engine's
// rule works on any text whose '.', '\' and ':' are single bytes).
std::u16string PartPath(const std::u16string& first, unsigned index) {
  const std::string bytes = Utf8(first);
  std::vector<char> out(bytes.size() + 8);
  if (!dos::ImagePartName(bytes.c_str(), index, out.data(), static_cast<uint32_t>(out.size()))) {
    return u"";
  }
  return FromUtf8(out.data());
}

// Reads `size` bytes at `offset` of `path`.
bool ReadAt(const std::u16string& path, uint64_t offset, uint8_t* out, DWORD size) {
  unique_file file(CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD got = 0;
  return file && SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) &&
         ReadFile(file.get(), out, size, &got, nullptr) && got == size;
}

// Why the file at `path` is no whole image of ours, judged by its header
// and its completion record; empty when it is one.
std::u16string ImageProblem(const std::u16string& path) {
  struct Part {
    std::u16string path;
    uint64_t size;
  };
  std::vector<Part> parts;
  uint64_t total = 0;
  for (unsigned i = 0; i < dos::kMaxParts; ++i) {
    const std::u16string part = PartPath(path, i);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (part.empty() || !GetFileAttributesExW(AsWide(part), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      break;
    }
    const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    parts.push_back({part, size});
    total += size;
  }
  if (parts.empty()) return u"无法打开该文件";
  if (total < dos::kHeaderSize + dos::kTrailerSize || parts[0].size < dos::kHeaderSize) {
    return u"它不是 Orvane 制作的镜像";
  }
  uint8_t header[dos::kHeaderSize];
  uint8_t trailer[dos::kTrailerSize];
  if (!ReadAt(parts[0].path, 0, header, dos::kHeaderSize)) return u"无法读取该文件";
  // The record may begin in the part before the last.
  uint32_t wanted = dos::kTrailerSize;
  for (size_t i = parts.size(); i-- > 0 && wanted > 0;) {
    const uint32_t here = parts[i].size < wanted ? static_cast<uint32_t>(parts[i].size) : wanted;
    if (!ReadAt(parts[i].path, parts[i].size - here, trailer + wanted - here, here)) {
      return u"无法读取该文件";
    }
    wanted -= here;
  }
  dos::ImageHeader h;
  switch (dos::CheckImageEnds(header, trailer, total, &h).fault) {
    case dos::Fault::kNone:
      return u"";
    case dos::Fault::kVersion:
      return kNewerImage;
    case dos::Fault::kNotAnImage:
      return u"它不是 Orvane 制作的镜像";
    case dos::Fault::kCutShort:
      return u"镜像不完整（当时备份没有完成）";
    default:
      return u"镜像已损坏";
  }
}

}  // namespace

std::u16string JobProblem(const Job& job) {
  const char16_t* command = job.backup ? u"BF" : u"HF";
  if (!PathExists(kDosBoot)) {
    return u"找不到 C:\\BOOTSECT.DOS，这台计算机不能从 C 盘启动 DOS。\n"
           u"没有做任何改动。请先让这台电脑能从启动菜单进入 DOS"
           u"（C 盘需有 C:\\BOOTSECT.DOS），再备份或恢复。";
  }
  std::u16string folder = job.program_folder;
  if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
  bool found = false;
  for (const char16_t* extension : {u".COM", u".EXE", u".BAT"}) {
    found = found || PathExists(folder + command + extension);
  }
  if (!found) {
    return std::u16string(u"程序所在的文件夹中没有 ") + command + u".COM（或 " + command +
           u".EXE、" + command + u".BAT）。\n没有做任何改动。请把 " + command +
           u".COM 放在 orvane.exe 所在的文件夹中。";
  }
  if (!OnDrive(job.program_folder, u'C')) {
    return u"Orvane 必须放在 C 盘上，DOS 才能运行它（现在在 " + job.program_folder +
           u"）。\n没有做任何改动。请把程序文件夹复制到 C 盘，例如 C:\\ORVANE。";
  }
  if (OnDrive(job.image, u'C')) {
    return job.backup ? u"镜像文件不能放在 C 盘上：要备份的正是 C 盘。\n"
                        u"没有做任何改动。请选择其他硬盘分区上的文件。"
                      : u"镜像文件不能放在 C 盘上：恢复会覆盖 C 盘。\n"
                        u"没有做任何改动。请先把镜像文件复制到其他硬盘分区。";
  }
  const std::u16string root = RootOf(job.image);
  if (root.empty() || VolumeDriveType(root) != DRIVE_FIXED) {
    return u"镜像文件所在的驱动器不是本机硬盘，DOS 无法访问。\n"
           u"没有做任何改动。请选择本机硬盘上 FAT 或 FAT32 分区中的文件。";
  }
  const std::u16string file_system = VolumeFileSystem(root);
  if (!DosReads(file_system)) {
    return u"镜像文件所在的分区是 " + (file_system.empty() ? u"未知格式" : file_system) +
           u"，DOS 无法读取。\n没有做任何改动。请选择 FAT 或 FAT32 分区中的文件。";
  }
  if (!job.backup) {
    const std::u16string problem = ImageProblem(job.image);
    if (!problem.empty()) {
      const bool newer = problem == kNewerImage;
      return u"无法用所选文件恢复：" + problem + u"。\n没有做任何改动。" +
             (newer ? u"请使用新版本的 Orvane。" : u"请选择 Orvane 备份时生成的完整镜像文件。");
    }
  }
  return u"";
}

std::u16string FirstImageDrive() {
  for (char16_t letter = u'D'; letter <= u'Z'; ++letter) {
    const std::u16string root{letter, u':', u'\\'};
    if (VolumeDriveType(root) == DRIVE_FIXED && DosReads(VolumeFileSystem(root))) return root;
  }
  return u"";
}

std::u16string DosFolder(const std::u16string& folder) {
  const std::u16string short_path = ShortPathOf(folder);
  return short_path.empty() ? folder : short_path;
}

std::string TicketText(const Job& job, DWORD serial, const std::u16string& short_path,
                       DWORD boot_attributes) {
  char numbers[64];
  wsprintfA(numbers, "Serial=%04X-%04X\r\n", static_cast<unsigned>(serial >> 16),
            static_cast<unsigned>(serial & 0xFFFF));
  const std::string serial_line = numbers;
  wsprintfA(numbers, "BootAttributes=%lu\r\n", static_cast<unsigned long>(boot_attributes));
  const CodePage ansi = CodePage::Active();
  return std::string("[Orvane]\r\nJob=") + (job.backup ? "BF" : "HF") +
         "\r\nImage=" + ansi.ToBytes(job.image) + "\r\n" + serial_line +
         "ShortPath=" + ansi.ToBytes(short_path) + "\r\n" + numbers;
}

HandOver::~HandOver() {
  if (kept_) return;
  if (made_ticket_) DeleteFileAt(kTicket);
  if (made_image_) DeleteFileAt(job_.image);
  if (made_menu_copy_) {
    SetAttributes(kSavedMenu, 0);
    DeleteFileAt(kSavedMenu);
  }
  if (made_batch_copy_) {
    SetAttributes(kSavedAutoexec, 0);
    DeleteFileAt(kSavedAutoexec);
  }
}

std::u16string HandOver::Prepare() {
  const DWORD menu_attributes = GetFileAttributesW(AsWide(kBootIni));
  if (!PathExists(kSavedMenu) && menu_attributes != INVALID_FILE_ATTRIBUTES) {
    if (!CopyFileW(AsWide(kBootIni), AsWide(kSavedMenu), /*bFailIfExists=*/TRUE)) {
      return u"无法写入 C:\\BOOT.ORV。\n计算机不会重新启动。";
    }
    made_menu_copy_ = true;
  }
  // The user's batch file, unless a job whose restart never came wrote the
  // one there now: its ticket is still there, and so may be the copy.
  const DWORD batch_attributes = GetFileAttributesW(AsWide(kAutoexec));
  if (!PathExists(kSavedAutoexec) && !PathExists(kTicket) &&
      batch_attributes != INVALID_FILE_ATTRIBUTES &&
      !(batch_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (!CopyFileW(AsWide(kAutoexec), AsWide(kSavedAutoexec), /*bFailIfExists=*/TRUE)) {
      return u"无法写入 C:\\AUTOEXEC.ORV。\n计算机不会重新启动。";
    }
    made_batch_copy_ = true;
  }
  if (job_.backup && !PathExists(job_.image)) {
    unique_file image(CreateFileW(AsWide(job_.image), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!image) {
      return u"无法创建镜像文件 " + job_.image + u"。\n请检查该分区是否可写。";
    }
    made_image_ = true;
  }
  DWORD serial = 0;
  const std::u16string short_path = ShortPathOf(job_.image);
  if (!VolumeSerial(RootOf(job_.image), &serial) || short_path.size() < 3) {
    return u"DOS 下将找不到这个镜像文件。\n"
           u"没有做任何改动。请选择 FAT 或 FAT32 分区中、名字不太长的文件。";
  }
  const DWORD attributes =
      menu_attributes == INVALID_FILE_ATTRIBUTES ? kUsualMenuAttributes : menu_attributes;
  if (!ReplaceFileContents(kTicket, TicketText(job_, serial, short_path.substr(2), attributes))) {
    return u"无法写入 C:\\ORVANE.JOB。\n计算机不会重新启动。";
  }
  made_ticket_ = true;
  return u"";
}

}  // namespace orvane
