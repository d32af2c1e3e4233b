// The memory where the engine gathers a batch of chunks (Workspace::batch):
// a block of XMS where a driver has enough to give, else conventional
// memory from DOS.
#include "dos/job.h"

namespace orvane::dos {
namespace {

constexpr uint16_t kXmsMostKb = 4096;
constexpr uint16_t kXmsLeastKb = 512;          // less: conventional memory may give as much
constexpr uint16_t kLeastParagraphs = 0x1000;  // 64 KB
// Left to DOS beside a conventional batch: DosImageFile's block of 32 KB
// (and its arena header), and room for DOS's own needs.
constexpr uint16_t kSpareParagraphs = 0x0A00;  // 40 KB

class DosBatch final : public BatchMemory {
 public:
  bool Open();
  void Close();
  uint32_t Capacity() override { return bytes_; }
  bool Put(uint32_t at, const uint8_t* data, uint32_t size) override {
    return Move(at, const_cast<uint8_t*>(data), size, true);
  }
  bool Get(uint32_t at, uint8_t* data, uint32_t size) override {
    return Move(at, data, size, false);
  }

 private:
  bool Move(uint32_t at, uint8_t* data, uint32_t size, bool put);
  uint32_t bytes_ = 0;
  uint16_t handle_ = 0;  // the XMS block's; 0 in conventional memory
  uint16_t segment_ = 0;
};

bool DosBatch::Open() {
  if (rm::XmsFind()) {
    uint16_t kb = rm::XmsLargestFree();
    if (kb > kXmsMostKb) kb = kXmsMostKb;
    if (kb >= kXmsLeastKb && rm::XmsAllocate(kb, &handle_)) {
      bytes_ = uint32_t{kb} * 1024;
      return true;
    }
  }
  // DOS gives the rest of conventional memory back when the program ends.
  const uint16_t largest = rm::DosLargestBlock();
  if (largest < kSpareParagraphs + kLeastParagraphs) return false;
  const uint16_t paragraphs = static_cast<uint16_t>(largest - kSpareParagraphs);
  if (!rm::DosAllocate(paragraphs, &segment_)) return false;
  bytes_ = uint32_t{paragraphs} * 16;
  return true;
}

void DosBatch::Close() {
  if (handle_ != 0) rm::XmsFree(handle_);
  handle_ = 0;
  bytes_ = 0;
}

bool DosBatch::Move(uint32_t at, uint8_t* data, uint32_t size, bool put) {
  if (at > bytes_ || size > bytes_ - at || size > 0xFFF0) return false;
  if (handle_ == 0) {
    // A 20-bit address: the paragraph goes into the segment, the rest is
    // the offset, so that `size` never crosses the segment's end.
    const uint16_t segment = static_cast<uint16_t>(segment_ + (at >> 4));
    const uint16_t offset = static_cast<uint16_t>(at & 15);
    if (put) {
      rm::FarWrite(segment, offset, data, static_cast<uint16_t>(size));
    } else {
      rm::FarRead(segment, offset, data, static_cast<uint16_t>(size));
    }
    return true;
  }
  const uint32_t near = uint32_t{rm::DataSegment()} << 16 | reinterpret_cast<uintptr_t>(data);
  rm::XmsCopy copy;
  copy.length = size;
  copy.from_handle = put ? 0 : handle_;
  copy.from_offset = put ? near : at;
  copy.to_handle = put ? handle_ : 0;
  copy.to_offset = put ? at : near;
  return rm::XmsMove(copy);
}

DosBatch batch;

}  // namespace

BatchMemory* TakeBatchMemory() { return batch.Open() ? &batch : nullptr; }

void ReturnBatchMemory() { batch.Close(); }

}  // namespace orvane::dos
