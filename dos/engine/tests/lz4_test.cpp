// The LZ4 blocks against liblz4. Blocks and outputs are heap buffers of
// their exact size: the sanitizers see any access past them.
#include "dos/engine/lz4.h"

#include <gtest/gtest.h>
#include <lz4.h>
#include <lz4hc.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <utility>
#include <vector>

// Built a second time with the codec as the real-mode programs build it
// (ORVANE_LZ4_SMALL), under a name of its own.
#if defined(ORVANE_LZ4_SMALL)
#define LZ4_SUITE Lz4Small
#else
#define LZ4_SUITE Lz4
#endif

namespace orvane::dos {
namespace {

using Bytes = std::vector<uint8_t>;
using Result = std::optional<Bytes>;

Bytes Compress(const Bytes& data, size_t capacity) {
  auto table = std::make_unique<Lz4Table>();
  Bytes block(capacity);
  block.resize(Lz4Compress(data.data(), data.size(), block.data(), capacity, *table));
  return block;
}

Bytes Compress(const Bytes& data) { return Compress(data, data.size() + data.size() / 255 + 16); }

Bytes LibCompress(const Bytes& data, bool high) {
  Bytes block(LZ4_compressBound(data.size()));
  // High compression reads even an empty source.
  const char* from = data.empty() ? "" : reinterpret_cast<const char*>(data.data());
  char* to = reinterpret_cast<char*>(block.data());
  block.resize(high ? LZ4_compress_HC(from, to, data.size(), block.size(), LZ4HC_CLEVEL_MAX)
                    : LZ4_compress_default(from, to, data.size(), block.size()));
  return block;
}

// In place: the block at the end of a buffer of expected +
// Lz4InPlaceMargin bytes, decoded into its start.
Result Decode(const Bytes& block, size_t expected, bool in_place = false) {
  Bytes out(expected + (in_place ? Lz4InPlaceMargin(block.size()) : 0));
  const uint8_t* at = block.data();
  if (in_place)
    at = out.data() + (std::copy_backward(block.begin(), block.end(), out.end()) - out.begin());
  if (!Lz4Decompress(at, block.size(), out.data(), expected)) return std::nullopt;
  out.resize(expected);
  return out;
}

// For an empty output liblz4 gets room for a byte: with none, it takes
// only the block 00h.
Result LibDecode(const Bytes& block, size_t expected) {
  Bytes out(std::max<size_t>(expected, 1));
  if (LZ4_decompress_safe(reinterpret_cast<const char*>(block.data()),
                          reinterpret_cast<char*>(out.data()), block.size(),
                          out.size()) != static_cast<int>(expected)) {
    return std::nullopt;
  }
  out.resize(expected);
  return out;
}

// Whether a match of the block has offset 0, which liblz4 (1.9.4) takes
// where a block is far from its ends.
bool HasOffsetZero(const Bytes& b) {
  size_t at = 0;
  const auto length = [&](size_t n) {
    if (n == 15) {
      for (uint8_t more = 255; more == 255 && at < b.size(); n += more) more = b[at++];
    }
    return n;
  };
  while (at < b.size()) {
    const uint8_t token = b[at++];
    at += length(token >> 4);
    if (at + 2 > b.size()) return false;
    if (b[at] == 0 && b[at + 1] == 0) return true;
    at += 2;
    length(token & 15);
  }
  return false;
}

std::vector<Bytes> Inputs() {
  std::mt19937 random(7);
  Bytes noise(65535);
  for (uint8_t& b : noise) b = random();
  std::vector<Bytes> inputs = {{}, Bytes(65535, 0), noise};
  // Around the end rules: 12 bytes and fewer hold no match, 13 one at most.
  for (size_t size = 1; size <= 40; ++size) {
    inputs.emplace_back(size);
    for (size_t i = 0; i < size; ++i) inputs.back()[i] = "abc"[i % 3];
  }
  // Literal runs of every length to 300, matches at offsets from 1 to 9
  // and of lengths to 1000.
  Bytes runs(noise.begin(), noise.begin() + 16);
  for (size_t n = 1; runs.size() < 60000; ++n) {
    runs.insert(runs.end(), noise.begin() + n * 37 % 4096, noise.begin() + n * 37 % 4096 + n % 300);
    for (size_t i = 0; i < n * 7 % 1000; ++i) runs.push_back(runs[runs.size() - 1 - n % 9]);
  }
  inputs.push_back(runs);
  // Text and program files in blocks of 32 KiB, as an image holds them.
  for (const char* path : {"/usr/share/common-licenses/GPL-3", "/usr/bin/cmake", "/usr/bin/bash",
                           "/usr/lib/i386-linux-gnu/wine/i386-windows/shell32.dll"}) {
    std::ifstream file(path, std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(file), {}};
    for (size_t at = 0; at < std::min<size_t>(bytes.size(), 1 << 20); at += 32768)
      inputs.emplace_back(bytes.begin() + at, bytes.begin() + std::min(at + 32768, bytes.size()));
  }
  return inputs;
}

TEST(LZ4_SUITE, EachDecodesTheOthersBlocksAlsoInPlace) {
  size_t ours = 0, fast = 0;
  for (const Bytes& data : Inputs()) {
    const Bytes block = Compress(data);
    EXPECT_EQ(LibDecode(block, data.size()), data);
    EXPECT_EQ(Decode(block, data.size()), data);
    EXPECT_EQ(Decode(block, data.size(), true), data);
    for (const bool high : {false, true}) {
      const Bytes theirs = LibCompress(data, high);
      EXPECT_EQ(Decode(theirs, data.size()), data);
      EXPECT_EQ(Decode(theirs, data.size(), true), data);
      fast += high ? 0 : theirs.size();
    }
    ours += block.size();
  }
  // Matches missed would still decode, only larger than liblz4's: by less
  // than 5% with liblz4's table of 4096 slots, 10% with real mode's 1024.
  EXPECT_LT(ours, kLz4HashBits >= 12 ? fast * 21 / 20 : fast * 11 / 10);
}

TEST(LZ4_SUITE, TooSmallACapacityGivesZeroAndNothingPastIt) {
  for (const Bytes& data : Inputs()) {
    const Bytes block = Compress(data);
    EXPECT_EQ(Compress(data, block.size()), block);
    for (const size_t capacity : {size_t{0}, block.size() / 2, block.size() - 1})
      EXPECT_TRUE(Compress(data, capacity).empty()) << capacity << " of " << block.size();
  }
  EXPECT_TRUE(Compress(Bytes(65536)).empty());
}

// Cut short, followed by a byte, said to make another length, damaged or
// made of noise: liblz4's verdict and output, also in place, but for
// offset 0, which only liblz4 takes.
TEST(LZ4_SUITE, DecoderGivesLiblz4sVerdictOnDamagedBlocks) {
  std::mt19937 random(11);
  std::vector<std::pair<Bytes, size_t>> cases;
  for (const Bytes& whole : Inputs()) {
    const Bytes data(whole.begin(), whole.begin() + std::min<size_t>(whole.size(), 3000));
    const Bytes block = Compress(data);
    Bytes longer = block;
    longer.push_back(0);
    const size_t size = data.size();
    cases.insert(cases.end(),
                 {{block, size + 1}, {block, std::max<size_t>(size, 1) - 1}, {longer, size}});
    for (size_t cut = 0; cut < block.size(); cut += 1 + cut / 8)
      cases.emplace_back(Bytes(block.begin(), block.begin() + cut), data.size());
    for (int i = 0; i < 50; ++i) {
      Bytes damaged = block;
      damaged[random() % block.size()] ^= 1 << random() % 8;
      cases.emplace_back(damaged, data.size());
    }
  }
  for (int i = 0; i < 20000; ++i) {
    Bytes noise(random() % 40);
    for (uint8_t& b : noise) b = random() % 4 ? random() % 32 : random();
    cases.emplace_back(noise, random() % 64);
  }
  size_t decoded = 0;
  for (const auto& [block, expected] : cases) {
    const Result ours = Decode(block, expected);
    if (!ours && HasOffsetZero(block)) continue;
    ASSERT_EQ(ours, LibDecode(block, expected)) << testing::PrintToString(block) << expected;
    if (block.size() <= expected + Lz4InPlaceMargin(block.size())) {
      ASSERT_EQ(Decode(block, expected, true), ours) << testing::PrintToString(block) << expected;
    }
    decoded += ours.has_value();
  }
  EXPECT_GT(decoded, 1000u);
}

}  // namespace
}  // namespace orvane::dos
