#include "dos/engine/status.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::dos {
namespace {

// Positions in full 64 bits, the BIOS status only where there is one, and
// never a byte past the capacity.
TEST(FormatFault, PositionsIn64BitsAndTheTextCutToFit) {
  const auto format = [](const Status& s) {
    char text[kFaultTextCapacity];
    const size_t n = FormatFault(s, text, sizeof text);
    EXPECT_EQ(n, std::string(text).size());
    return std::string(text);
  };
  EXPECT_EQ(format(Status::Fail(Fault::kDiskWrite, 4294967295u, 0x03)),
            "A disk sector cannot be written. (sector 4294967295, BIOS status 03h)");
  EXPECT_EQ(format(Status::Fail(Fault::kDiskRead, 7)), "A disk sector cannot be read. (sector 7)");
  EXPECT_EQ(format(Status::Fail(Fault::kCutShort, ~uint64_t{0})),
            "The image is incomplete (it was cut short). (at byte 18446744073709551615)");
  EXPECT_EQ(format(Status::Fail(Fault::kFileRead, uint64_t{1} << 32)),
            "The image file cannot be read. (at byte 4294967296)");
  EXPECT_EQ(format(Status::Fail(Fault::kPartMissing, 0, 5)),
            "A part of the image is missing. (part 5)");

  const Status s = Status::Fail(Fault::kChunkDamaged, 123456789012ull);
  const std::string whole = format(s);
  for (size_t capacity = 0; capacity <= whole.size() + 1; ++capacity) {
    std::string out(capacity + 1, '#');
    const size_t n = FormatFault(s, out.data(), capacity);
    ASSERT_EQ(n, capacity ? capacity - 1 : 0) << capacity;
    ASSERT_EQ(out.substr(0, n), whole.substr(0, n));
    if (capacity) {
      ASSERT_EQ(out[n], '\0');
    }
    ASSERT_EQ(out[capacity], '#') << "nothing written past the capacity";
  }
}

}  // namespace
}  // namespace orvane::dos
