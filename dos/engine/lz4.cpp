#include "dos/engine/lz4.h"

#include "dos/engine/bytes.h"

namespace orvane::dos {
namespace {

// MatchLength finds the first differing byte from the low end of a word.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);

// Built for size (the real-mode programs, or ORVANE_LZ4_SMALL for their
// tests), the codec keeps to its general path with its helpers out of
// line. Elsewhere it has a shortcut for the common short sequences.
#if defined(__OPTIMIZE_SIZE__) || defined(ORVANE_LZ4_SMALL)
#define ORVANE_LZ4_SHARED __attribute__((noinline))
constexpr bool kShortcuts = false;
#else
#define ORVANE_LZ4_SHARED inline
constexpr bool kShortcuts = true;
#endif

constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kLastLiterals = 5;  // a block always ends with at least this many literals
constexpr uint32_t kMatchLead = 12;    // the last match starts at least this far before the end
constexpr uint32_t kNibble = 15;       // a length's 4 bits in the token: 15 says more bytes follow
constexpr uint32_t kChunk = 8;         // what a copy moves at a time

// The widest word a load gives: 8 bytes on 64-bit machines, 4 in real mode.
using Word = uintptr_t;

inline Word LoadWord(const uint8_t* p) {
  Word w;
  __builtin_memcpy(&w, p, sizeof w);
  return w;
}

inline uint32_t LoadRaw32(const uint8_t* p) {
  uint32_t v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

inline uint32_t Hash(uint32_t four_bytes) {
  return (four_bytes * 2654435761u) >> (32 - kLz4HashBits);
}

inline uint32_t LowZeroBytes(Word w) {
  if constexpr (sizeof(Word) == 8) return static_cast<uint32_t>(__builtin_ctzll(w)) / 8;
  return static_cast<uint32_t>(__builtin_ctz(static_cast<uint32_t>(w))) / 8;
}

// How many bytes from `a` on equal those from `b`, counting up to `end`.
// `b` lies before `a`.
uint32_t MatchLength(const uint8_t* a, const uint8_t* b, const uint8_t* end) {
  const uint8_t* const start = a;
  while (static_cast<size_t>(end - a) >= sizeof(Word)) {
    const Word diff = LoadWord(a) ^ LoadWord(b);
    if (diff) return static_cast<uint32_t>(a - start) + LowZeroBytes(diff);
    a += sizeof(Word);
    b += sizeof(Word);
  }
  while (a < end && *a == *b) {
    ++a;
    ++b;
  }
  return static_cast<uint32_t>(a - start);
}

// Copies `size` bytes forward. With the shortcuts, `kChunk` bytes at a
// time and the rest a byte at a time, or with `overshoot` whole chunks
// only, the last of which may read and write up to 7 bytes past the end:
// the source and the target may overlap when they lie at least a chunk
// apart. Built for size, a byte at a time.
ORVANE_LZ4_SHARED void Copy(uint8_t* to, const uint8_t* from, uint32_t size, bool overshoot) {
  uint8_t* const end = to + size;
  if (kShortcuts) {
    for (uint32_t n = (overshoot ? size + kChunk - 1 : size) / kChunk; n; --n) {
      uint64_t chunk;
      __builtin_memcpy(&chunk, from, kChunk);
      __builtin_memcpy(to, &chunk, kChunk);
      to += kChunk;
      from += kChunk;
    }
  }
  while (to < end) *to++ = *from++;
}

// `n` chunks, one after the other, as Copy makes them.
template <int n>
inline void CopyChunks(uint8_t* to, const uint8_t* from) {
  for (int i = 0; i < n; ++i) {
    uint64_t chunk;
    __builtin_memcpy(&chunk, from + i * kChunk, kChunk);
    __builtin_memcpy(to + i * kChunk, &chunk, kChunk);
  }
}

// The bytes after the token that carry what a length has past its 15
// (none below 15).
inline uint32_t ExtraBytes(uint32_t length) { return (length + 255 - kNibble) / 255; }

inline uint32_t Nibble(uint32_t length) { return length < kNibble ? length : kNibble; }

ORVANE_LZ4_SHARED uint8_t* PutExtra(uint8_t* op, uint32_t length) {
  if (length >= kNibble) {
    for (length -= kNibble; length >= 255; length -= 255) *op++ = 255;
    *op++ = static_cast<uint8_t>(length);
  }
  return op;
}

// Appends a sequence: `literals` bytes from `from`, then a match of
// `match` bytes `offset` back, or no match (the block's last sequence)
// when `offset` is 0. Null when it would pass `end`; then nothing is
// written.
uint8_t* PutSequence(uint8_t* op, uint8_t* end, const uint8_t* from, uint32_t literals,
                     uint32_t offset, uint32_t match) {
  uint32_t need = 1 + ExtraBytes(literals) + literals;
  uint32_t token = Nibble(literals) << 4;
  match -= kMinMatch;
  if (offset) {
    need += 2 + ExtraBytes(match);
    token |= Nibble(match);
  }
  const uint32_t room = static_cast<uint32_t>(end - op);
  if (need > room) return nullptr;
  *op++ = static_cast<uint8_t>(token);
  op = PutExtra(op, literals);
  // Literals followed by a match are followed by 12 bytes of the block.
  Copy(op, from, literals, offset && need + kChunk <= room);
  op += literals;
  if (offset) {
    Store16(op, static_cast<uint16_t>(offset));
    op = PutExtra(op + 2, match);
  }
  return op;
}

// What the bytes that extend a length add to it (each 255 says one more
// follows); more than any buffer holds when the block ends first.
ORVANE_LZ4_SHARED uint32_t Extra(const uint8_t*& ip, const uint8_t* in_end) {
  uint32_t sum = 0, byte;
  do {
    if (ip == in_end) return 0x40000000;
    byte = *ip++;
    sum += byte;
  } while (byte == 255);
  return sum;
}

}  // namespace

uint32_t Lz4Compress(const uint8_t* in, uint32_t size, uint8_t* out, uint32_t capacity,
                     Lz4Table& table) {
  if (size > 0xFFFF) return 0;
  // Every slot starts at position 0, which is as good a guess as any: a
  // candidate counts only when its four bytes match.
  FillBytes(table.slots, 0, sizeof table.slots);
  uint8_t* op = out;
  uint8_t* const end = out + capacity;
  // Blocks of 12 bytes or fewer are literals only.
  const uint32_t last_start = size > kMatchLead ? size - kMatchLead : 0;
  uint32_t anchor = 0;  // the first byte no sequence holds yet
  uint32_t pos = 1;
  for (;;) {
    // Without a match, the rest of the block is the last sequence's
    // literals. Each miss in a row lengthens the step a little (by one
    // every 64), which moves quickly through data that does not compress.
    uint32_t start = size, offset = 0, length = 0;
    uint32_t four = pos <= last_start ? LoadRaw32(in + pos) : 0, hash = Hash(four);
    for (uint32_t misses = 64; pos <= last_start; ++misses) {
      uint16_t& slot = table.slots[hash];
      uint32_t from = slot;
      slot = static_cast<uint16_t>(pos);
      // The next position's bytes and hash come before this candidate is
      // judged, which keeps the processor busy while it finds out.
      const uint32_t next = pos + (misses >> 6);
      const uint32_t next_four = next <= last_start ? LoadRaw32(in + next) : 0;
      const uint32_t next_hash = Hash(next_four);
      if (LoadRaw32(in + from) == four) {
        while (pos > anchor && from > 0 && in[pos - 1] == in[from - 1]) {
          --pos;
          --from;
        }
        start = pos;
        offset = pos - from;
        length = kMinMatch + MatchLength(in + pos + kMinMatch, in + from + kMinMatch,
                                         in + size - kLastLiterals);
        break;
      }
      pos = next;
      four = next_four;
      hash = next_hash;
    }
    op = PutSequence(op, end, in + anchor, start - anchor, offset, length);
    if (!op) return 0;
    if (!offset) return static_cast<uint32_t>(op - out);
    pos = anchor = start + length;
    // The match's end seeds the table for what follows it.
    table.slots[Hash(LoadRaw32(in + pos - 2))] = static_cast<uint16_t>(pos - 2);
  }
}

bool Lz4Decompress(const uint8_t* in, uint32_t size, uint8_t* out, uint32_t expected) {
  const uint8_t* ip = in;
  const uint8_t* const in_end = in + size;
  uint8_t* op = out;
  uint8_t* const out_end = out + expected;
  // In place, behind Lz4InPlaceMargin, no copy reaches the unread bytes of
  // a block that decodes: from any point on, the rest of such a block is
  // at most 2 bytes longer than what it makes, plus a byte for every 255
  // of its literals, which keeps the unread bytes at least 27 ahead of the
  // output, further than any copy writes. So a block decodes in place
  // exactly as it does elsewhere.
  for (;;) {
    if (ip == in_end) return false;
    const uint32_t token = *ip++;
    uint32_t length = token >> 4;
    uint32_t offset;
    if (kShortcuts && length < kNibble && in_end - ip >= 16 && out_end - op >= 40) {
      // Far from both ends, with at most 14 literals and a match of at
      // most 18 bytes: copies of a fixed size, which may run past them.
      CopyChunks<2>(op, ip);
      ip += length;
      op += length;
      offset = Load16(ip);
      ip += 2;
      length = token & kNibble;
      if (length < kNibble && offset >= kChunk && offset <= static_cast<uint32_t>(op - out)) {
        CopyChunks<3>(op, op - offset);
        op += length + kMinMatch;
        continue;
      }
      // Anything else about the match goes the general way.
    } else {
      if (length == kNibble) length += Extra(ip, in_end);
      const uint32_t in_left = static_cast<uint32_t>(in_end - ip);
      const uint32_t out_left = static_cast<uint32_t>(out_end - op);
      if (length > in_left || length > out_left) return false;
      Copy(op, ip, length, length + kChunk <= in_left && length + kChunk <= out_left);
      ip += length;
      op += length;
      // The last sequence has no match; its literals end the block.
      if (ip == in_end) return op == out_end;

      if (in_end - ip < 2) return false;
      offset = Load16(ip);
      ip += 2;
      length = token & kNibble;
    }
    if (offset == 0 || offset > static_cast<uint32_t>(op - out)) return false;
    if (length == kNibble) length += Extra(ip, in_end);
    length += kMinMatch;
    // The block's end rules: a match starts at least 12 bytes before the
    // end, and the last 5 bytes are literals.
    const uint32_t room = static_cast<uint32_t>(out_end - op);
    if (room < kMatchLead || length > room - kLastLiterals) return false;
    const uint8_t* from = op - offset;
    if (kShortcuts && offset < kChunk) {
      // A short offset repeats a pattern. Its first bytes are made one at
      // a time, up to a whole number of repeats at least a chunk long;
      // from there on, copying by chunks from that far back repeats it
      // too.
      uint32_t repeats = offset;
      while (repeats < kChunk) repeats += offset;
      const uint32_t head = repeats < length ? repeats : length;
      for (uint32_t i = 0; i < head; ++i) op[i] = from[i];
      from = op;
      op += head;
      length -= head;
    }
    Copy(op, from, length, length + kChunk <= static_cast<uint32_t>(out_end - op));
    op += length;
  }
}

}  // namespace orvane::dos
