#include "dos/engine/status.h"

namespace orvane::dos {

const char* FaultText(Fault fault) {
  switch (fault) {
    case Fault::kNone:
      return "No error.";
    case Fault::kDiskRead:
      return "A disk sector cannot be read.";
    case Fault::kDiskWrite:
      return "A disk sector cannot be written.";
    case Fault::kFileOpen:
      return "The image file cannot be opened.";
    case Fault::kFileRead:
      return "The image file cannot be read.";
    case Fault::kFileWrite:
      return "The image file cannot be written.";
    case Fault::kFileFull:
      return "The image drive is full.";
    case Fault::kNotAnImage:
      return "The file is not an Orvane image.";
    case Fault::kVersion:
      return "The image was made by a newer version of Orvane.";
    case Fault::kHeaderDamaged:
      return "The image header is damaged.";
    case Fault::kChunkDamaged:
      return "The image is damaged (a checksum does not match).";
    case Fault::kCutShort:
      return "The image is incomplete (it was cut short).";
    case Fault::kPartMissing:
      return "A part of the image is missing.";
    case Fault::kTrailerDamaged:
      return "The image's completion record is damaged.";
    case Fault::kTooLarge:
      return "The image is larger than drive C.";
    case Fault::kFileSystem:
      return "Drive C changed while it was read.";
    case Fault::kOutOfRange:
      return "The image is damaged (data outside its partition).";
  }
  return "Unknown error.";
}

namespace {

// Appends to a zero-ended text of fixed capacity, dropping what does not
// fit.
class TextOut {
 public:
  TextOut(char* out, size_t capacity) : out_(out), capacity_(capacity) {
    if (capacity_ > 0) out_[0] = 0;
  }
  void Char(char c) {
    if (length_ + 1 >= capacity_) return;
    out_[length_++] = c;
    out_[length_] = 0;
  }
  void Text(const char* text) {
    while (*text) Char(*text++);
  }
  // In decimal. The value is four 16-bit pieces, each divided by 10 in
  // 32 bits, so that no 64-bit division is needed (real mode has no
  // library to do one).
  void Decimal(uint64_t value) {
    uint16_t pieces[4] = {static_cast<uint16_t>(value), static_cast<uint16_t>(value >> 16),
                          static_cast<uint16_t>(value >> 32), static_cast<uint16_t>(value >> 48)};
    char digits[20];
    int n = 0;
    do {
      uint32_t rest = 0;
      for (int i = 3; i >= 0; --i) {
        const uint32_t part = (rest << 16) | pieces[i];
        pieces[i] = static_cast<uint16_t>(part / 10);
        rest = part % 10;
      }
      digits[n++] = static_cast<char>('0' + rest);
    } while (pieces[0] | pieces[1] | pieces[2] | pieces[3]);
    while (n) Char(digits[--n]);
  }
  void Hex2(uint16_t value) {
    Char("0123456789ABCDEF"[(value >> 4) & 15]);
    Char("0123456789ABCDEF"[value & 15]);
  }
  size_t length() const { return length_; }

 private:
  char* out_;
  size_t capacity_;
  size_t length_ = 0;
};

}  // namespace

const char* DosErrorText(uint16_t code) {
  switch (code) {
    case 0x02:
      return "file not found";
    case 0x03:
      return "path not found";
    case 0x04:
      return "too many open files";
    case 0x05:
      return "access denied";
    case 0x0F:
      return "no such drive";
    case 0x13:
      return "the disk is write-protected";
    case 0x15:
      return "the drive is not ready";
    // 17h to 1Fh: the disk errors DOS met (its critical errors 04h to 0Ch).
    case 0x17:
      return "the disk's data is damaged";
    case 0x19:
      return "the disk cannot seek";
    case 0x1B:
      return "a disk sector was not found";
    case 0x1D:
      return "the disk cannot be written";
    case 0x1E:
      return "the disk cannot be read";
    case 0x1F:
      return "the disk failed";
    case 0x27:
      return "the disk is full";
    case 0x50:
      return "the file exists";
    default:
      return nullptr;
  }
}

size_t FormatFault(const Status& s, char* out, size_t capacity) {
  TextOut text(out, capacity);
  text.Text(FaultText(s.fault));
  switch (s.fault) {
    case Fault::kDiskRead:
    case Fault::kDiskWrite:
      text.Text(" (sector ");
      text.Decimal(s.where);
      // A disk in a file has no BIOS status.
      if (s.detail) {
        text.Text(", BIOS status ");
        text.Hex2(s.detail);
        text.Char('h');
      }
      text.Char(')');
      break;
    case Fault::kChunkDamaged:
    case Fault::kOutOfRange:
      text.Text(" (chunk ");
      text.Decimal(s.where);
      text.Char(')');
      break;
    case Fault::kCutShort:
    case Fault::kFileRead:
      text.Text(" (at byte ");
      text.Decimal(s.where);
      text.Char(')');
      break;
    case Fault::kPartMissing:
      text.Text(" (part ");
      text.Decimal(s.detail);
      text.Char(')');
      break;
    case Fault::kFileOpen:
    case Fault::kFileWrite:
      if (const char* words = DosErrorText(s.detail)) {
        text.Text(" (");
        text.Text(words);
        text.Char(')');
      } else if (s.detail) {
        text.Text(" (DOS error ");
        text.Decimal(s.detail);
        text.Char(')');
      }
      break;
    default:
      break;
  }
  return text.length();
}

}  // namespace orvane::dos
