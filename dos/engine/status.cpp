#include "dos/engine/status.h"

namespace orvane::dos {

Msg FaultMessage(Fault fault) {
  switch (fault) {
    case Fault::kNone:
      return Msg::kFaultNone;
    case Fault::kDiskRead:
      return Msg::kFaultDiskRead;
    case Fault::kDiskWrite:
      return Msg::kFaultDiskWrite;
    case Fault::kFileOpen:
      return Msg::kFaultFileOpen;
    case Fault::kFileRead:
      return Msg::kFaultFileRead;
    case Fault::kFileWrite:
      return Msg::kFaultFileWrite;
    case Fault::kFileFull:
      return Msg::kFaultFileFull;
    case Fault::kNotAnImage:
      return Msg::kFaultNotAnImage;
    case Fault::kVersion:
      return Msg::kFaultVersion;
    case Fault::kHeaderDamaged:
      return Msg::kFaultHeaderDamaged;
    case Fault::kChunkDamaged:
      return Msg::kFaultChunkDamaged;
    case Fault::kCutShort:
      return Msg::kFaultCutShort;
    case Fault::kPartMissing:
      return Msg::kFaultPartMissing;
    case Fault::kTrailerDamaged:
      return Msg::kFaultTrailerDamaged;
    case Fault::kTooLarge:
      return Msg::kFaultTooLarge;
    case Fault::kFileSystem:
      return Msg::kFaultFileSystem;
    case Fault::kOutOfRange:
      return Msg::kFaultOutOfRange;
    case Fault::kMemory:
      return Msg::kFaultMemory;
  }
  return Msg::kFaultUnknown;
}

const char* FaultText(Fault fault) { return EnglishText(FaultMessage(fault)); }

namespace {

// Numbers as text, without 64-bit division.
class Number {
 public:
  // In decimal. The value is four 16-bit pieces, each divided by 10 in
  // 32 bits, so that no 64-bit division is needed (real mode has no
  // library to do one).
  static Number Decimal(uint64_t value) {
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
    Number number;
    int length = 0;
    while (n) number.text_[length++] = digits[--n];
    number.text_[length] = 0;
    return number;
  }
  static Number Hex2(uint16_t value) {
    Number number;
    number.text_[0] = "0123456789ABCDEF"[(value >> 4) & 15];
    number.text_[1] = "0123456789ABCDEF"[value & 15];
    number.text_[2] = 0;
    return number;
  }
  const char* text() const { return text_; }

 private:
  char text_[21];
};

// The English text, appended to a zero-ended text of fixed capacity.
class EnglishOut final : public FaultOut {
 public:
  EnglishOut(char* out, size_t capacity) : out_(out), capacity_(capacity) {
    if (capacity_ > 0) out_[0] = 0;
  }
  void Say(Msg m, const char* first, const char* second) override {
    if (length_ < capacity_) {
      length_ += FillText(EnglishText(m), first, second, out_ + length_, capacity_ - length_);
    }
  }
  void SayWith(Msg m, Msg words) override { Say(m, EnglishText(words), nullptr); }
  size_t length() const { return length_; }

 private:
  char* out_;
  size_t capacity_;
  size_t length_ = 0;
};

}  // namespace

bool DosErrorMessage(uint16_t code, Msg* words) {
  switch (code) {
    case 0x02:
      *words = Msg::kErrorFileNotFound;
      return true;
    case 0x03:
      *words = Msg::kErrorPathNotFound;
      return true;
    case 0x04:
      *words = Msg::kErrorTooManyFiles;
      return true;
    case 0x05:
      *words = Msg::kErrorAccessDenied;
      return true;
    case 0x0F:
      *words = Msg::kErrorNoDrive;
      return true;
    case 0x13:
      *words = Msg::kErrorWriteProtected;
      return true;
    case 0x15:
      *words = Msg::kErrorNotReady;
      return true;
    // 17h to 1Fh: the disk errors DOS met (its critical errors 04h to 0Ch).
    case 0x17:
      *words = Msg::kErrorDataDamaged;
      return true;
    case 0x19:
      *words = Msg::kErrorSeek;
      return true;
    case 0x1B:
      *words = Msg::kErrorSectorNotFound;
      return true;
    case 0x1D:
      *words = Msg::kErrorCannotWrite;
      return true;
    case 0x1E:
      *words = Msg::kErrorCannotRead;
      return true;
    case 0x1F:
      *words = Msg::kErrorDiskFailed;
      return true;
    case 0x27:
      *words = Msg::kErrorDiskFull;
      return true;
    case 0x50:
      *words = Msg::kErrorFileExists;
      return true;
    default:
      return false;
  }
}

const char* DosErrorText(uint16_t code) {
  Msg words;
  return DosErrorMessage(code, &words) ? EnglishText(words) : nullptr;
}

void FormatFault(const Status& s, FaultOut& out) {
  out.Say(FaultMessage(s.fault));
  switch (s.fault) {
    case Fault::kDiskRead:
    case Fault::kDiskWrite:
      // A disk in a file has no BIOS status.
      if (s.detail) {
        out.Say(Msg::kAtSectorStatus, Number::Decimal(s.where).text(),
                Number::Hex2(s.detail).text());
      } else {
        out.Say(Msg::kAtSector, Number::Decimal(s.where).text());
      }
      break;
    case Fault::kChunkDamaged:
    case Fault::kOutOfRange:
      out.Say(Msg::kAtChunk, Number::Decimal(s.where).text());
      break;
    case Fault::kCutShort:
    case Fault::kFileRead:
      out.Say(Msg::kAtByte, Number::Decimal(s.where).text());
      break;
    case Fault::kPartMissing:
      out.Say(Msg::kAtPart, Number::Decimal(s.detail).text());
      break;
    case Fault::kFileOpen:
    case Fault::kFileWrite: {
      Msg words;
      if (DosErrorMessage(s.detail, &words)) {
        out.SayWith(Msg::kBecause, words);
      } else if (s.detail) {
        out.Say(Msg::kDosError, Number::Decimal(s.detail).text());
      }
      break;
    }
    default:
      break;
  }
}

size_t FormatFault(const Status& s, char* out, size_t capacity) {
  EnglishOut english(out, capacity);
  FormatFault(s, english);
  return english.length();
}

}  // namespace orvane::dos
