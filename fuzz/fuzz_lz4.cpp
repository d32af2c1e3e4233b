// Lz4Decompress on any block, to a size the input chooses and to the size
// liblz4 makes of it: liblz4's verdict (LZ4_decompress_safe to exactly
// that size) and output, but for a match at offset 0 or one that breaks the
// end rules, which only liblz4 takes; in place behind Lz4InPlaceMargin, the same again. Lz4Compress
// on the same bytes: a block that liblz4 and Lz4Decompress (in place too) decode to them, and that
// needs all of its size: a byte less gives 0. Every buffer is a heap buffer of its exact size, so
// that ASan sees any access past it.
//
// The input: the size to decode to (two bytes, least significant first),
// then the block.
#include <lz4.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dos/engine/bytes.h"
#include "dos/engine/lz4.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace orvane::dos;
using orvane::fuzz::Expect;
using Bytes = std::vector<uint8_t>;
using Result = std::optional<Bytes>;

// In place: the block at the end of a buffer of expected +
// Lz4InPlaceMargin bytes, decoded into its start.
Result Decode(const Bytes& block, size_t expected, bool in_place) {
  Bytes out(expected + (in_place ? Lz4InPlaceMargin(block.size()) : 0));
  const uint8_t* at = block.data();
  if (in_place) {
    at = out.data() + (std::copy_backward(block.begin(), block.end(), out.end()) - out.begin());
  }
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

// Whether a match of the block breaks the format's end rules, decoded to
// `expected` bytes: each match starts at least 12 bytes before the end, and
// the last 5 bytes are literals. Lz4Decompress holds a block to them (its
// decoding in place counts on them); liblz4 (1.9.4) takes some blocks that
// break them.
bool BreaksEndRules(const Bytes& b, size_t expected) {
  size_t at = 0, made = 0;
  const auto length = [&](size_t n) {
    if (n == 15) {
      for (uint8_t more = 255; more == 255 && at < b.size(); n += more) more = b[at++];
    }
    return n;
  };
  while (at < b.size()) {
    const uint8_t token = b[at++];
    const size_t literals = length(token >> 4);
    at += literals;
    made += literals;
    if (at + 2 > b.size()) return false;
    at += 2;
    const size_t match = length(token & 15) + 4;
    if (made + 12 > expected || made + match + 5 > expected) return true;
    made += match;
  }
  return false;
}

void CheckDecode(const Bytes& block, size_t expected) {
  const Result ours = Decode(block, expected, false);
  if (!ours && (HasOffsetZero(block) || BreaksEndRules(block, expected))) return;
  Expect(ours == LibDecode(block, expected), "Lz4Decompress gives liblz4's verdict and output");
  if (block.size() <= expected + Lz4InPlaceMargin(block.size())) {
    Expect(Decode(block, expected, true) == ours, "in place, Lz4Decompress decodes as elsewhere");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size - 2 > 0xFFFF) return 0;
  const Bytes block(data + 2, data + size);
  const size_t chosen = Load16(data);
  CheckDecode(block, chosen);
  // What liblz4 makes of the block with room to spare, if anything.
  static Bytes room(size_t{1} << 20);
  const int made =
      LZ4_decompress_safe(reinterpret_cast<const char*>(block.data()),
                          reinterpret_cast<char*>(room.data()), block.size(), room.size());
  if (made >= 0 && static_cast<size_t>(made) != chosen) CheckDecode(block, made);

  static const std::unique_ptr<Lz4Table> table = std::make_unique<Lz4Table>();
  Bytes packed(block.size() + block.size() / 255 + 16);
  const uint32_t n = Lz4Compress(block.data(), block.size(), packed.data(), packed.size(), *table);
  Expect(n > 0, "Lz4Compress makes a block of up to 64 KiB given room for its literals");
  packed.resize(n);
  Expect(LibDecode(packed, block.size()) == block, "liblz4 decodes Lz4Compress's block");
  Expect(Decode(packed, block.size(), false) == block, "Lz4Decompress decodes Lz4Compress's block");
  Expect(Decode(packed, block.size(), true) == block, "... in place too");
  Bytes short_of(n - 1);
  Expect(Lz4Compress(block.data(), block.size(), short_of.data(), n - 1, *table) == 0,
         "Lz4Compress gives 0 when its block does not fit");
  return 0;
}
