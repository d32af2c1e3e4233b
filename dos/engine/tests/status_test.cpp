#include "dos/engine/status.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::dos {
namespace {

std::string Format(const Status& s) {
  char text[kFaultTextCapacity];
  const size_t n = FormatFault(s, text, sizeof text);
  EXPECT_EQ(n, std::string(text).size());
  return text;
}

TEST(FormatFault, EachFaultWithItsPositionInFull64Bits) {
  EXPECT_EQ(Format(Status::Fail(Fault::kDiskRead, 123456, 0x80)),
            "A disk sector cannot be read. (sector 123456, BIOS status 80h)");
  EXPECT_EQ(Format(Status::Fail(Fault::kDiskWrite, 4294967295u, 0x03)),
            "A disk sector cannot be written. (sector 4294967295, BIOS status 03h)");
  EXPECT_EQ(Format(Status::Fail(Fault::kDiskRead, 7)), "A disk sector cannot be read. (sector 7)")
      << "a disk in a file has no BIOS status";
  EXPECT_EQ(Format(Status::Fail(Fault::kChunkDamaged, 0)),
            "The image is damaged (a checksum does not match). (chunk 0)");
  EXPECT_EQ(Format(Status::Fail(Fault::kOutOfRange, 99)),
            "The image is damaged (data outside its partition). (chunk 99)");
  EXPECT_EQ(Format(Status::Fail(Fault::kCutShort, uint64_t{1} << 32)),
            "The image is incomplete (it was cut short). (at byte 4294967296)");
  EXPECT_EQ(Format(Status::Fail(Fault::kFileRead, 5000000000123ull)),
            "The image file cannot be read. (at byte 5000000000123)");
  EXPECT_EQ(Format(Status::Fail(Fault::kCutShort, ~uint64_t{0})),
            "The image is incomplete (it was cut short). (at byte 18446744073709551615)");
  EXPECT_EQ(Format(Status::Fail(Fault::kPartMissing, 0, 5)),
            "A part of the image is missing. (part 5)");
  EXPECT_EQ(Format(Status::Fail(Fault::kFileOpen, 0, 3)),
            "The image file cannot be opened. (DOS error 3)");
  EXPECT_EQ(Format(Status::Fail(Fault::kFileWrite)), "The image file cannot be written.");
  EXPECT_EQ(Format(Status::Fail(Fault::kTooLarge, 1000)), "The image is larger than drive C.");
  EXPECT_EQ(Format(Status::Ok()), "No error.");
}

TEST(FormatFault, CutsToTheCapacityAndAlwaysEndsTheText) {
  const Status s = Status::Fail(Fault::kCutShort, 123456789012ull);
  const std::string whole = Format(s);
  for (size_t capacity = 1; capacity <= whole.size() + 1; ++capacity) {
    std::string out(capacity + 1, '#');
    const size_t n = FormatFault(s, out.data(), capacity);
    ASSERT_EQ(n, capacity - 1) << capacity;
    ASSERT_EQ(out.substr(0, n), whole.substr(0, n));
    ASSERT_EQ(out[n], '\0');
    ASSERT_EQ(out[capacity], '#') << "nothing written past the capacity";
  }
  char untouched = '#';
  EXPECT_EQ(FormatFault(s, &untouched, 0), 0u);
  EXPECT_EQ(untouched, '#');
}

}  // namespace
}  // namespace orvane::dos
