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

// A message's "{}" take the arguments in order; a missing one is empty, a
// third "{}" stays as it is, and the text is cut to the capacity.
TEST(FillText, ArgumentsInOrderAndTheTextCutToFit) {
  char out[64];
  EXPECT_EQ(
      FillText("The image needs {}; its drive has {} free.", "5.0 MB", "1.2 MB", out, sizeof out),
      std::string("The image needs 5.0 MB; its drive has 1.2 MB free.").size());
  EXPECT_STREQ(out, "The image needs 5.0 MB; its drive has 1.2 MB free.");
  FillText("{} failed: {}{}", "HF", nullptr, out, sizeof out);
  EXPECT_STREQ(out, "HF failed: {}");
  EXPECT_EQ(FillText("{} 失败：", "BF", nullptr, out, 6), 5u);
  EXPECT_STREQ(out, "BF \xE5\xA4");
  EXPECT_EQ(FillText("abc", nullptr, nullptr, out, 0), 0u);
  // The English of every message is there, and a fault's words in order.
  for (int m = 0; m < static_cast<int>(Msg::kCount); ++m) {
    EXPECT_NE(EnglishText(static_cast<Msg>(m))[0], 0) << m;
  }
  char text[kFaultTextCapacity];
  FormatFault(Status::Fail(Fault::kFileWrite, 0, 0x27), text, sizeof text);
  EXPECT_STREQ(text, "The image file cannot be written. (the disk is full)");
  FormatFault(Status::Fail(Fault::kFileOpen, 0, 0x99), text, sizeof text);
  EXPECT_STREQ(text, "The image file cannot be opened. (DOS error 153)");
}

}  // namespace
}  // namespace orvane::dos
