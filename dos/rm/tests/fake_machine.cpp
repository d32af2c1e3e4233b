#include "dos/rm/tests/fake_machine.h"

#include <gtest/gtest.h>
#include <string.h>

#include <memory>

#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {
namespace fake {
namespace {

std::unique_ptr<Machine> current;

}  // namespace

Machine& machine() {
  if (!current) current = std::make_unique<Machine>();
  return *current;
}

void Reset() { current = std::make_unique<Machine>(); }

uint8_t* Machine::Pointer(uint16_t segment, uint32_t offset) {
  if (segment != data_segment || offset > 0xFFFF) return nullptr;
  for (const auto& [pointer, slot] : objects) {
    if (offset >= slot && offset < slot + 0x400)
      return const_cast<uint8_t*>(pointer) + (offset - slot);
  }
  return data.data() + offset;
}

}  // namespace fake

uint16_t Offset(const void* p) {
  fake::Machine& m = fake::machine();
  const uint8_t* b = static_cast<const uint8_t*>(p);
  if (b >= m.data.data() && b < m.data.data() + fake::Machine::kSlots) {
    return static_cast<uint16_t>(b - m.data.data());
  }
  for (const auto& [pointer, slot] : m.objects) {
    if (b >= pointer && b < pointer + 0x400) return static_cast<uint16_t>(slot + (b - pointer));
  }
  // A new object: a free slot, or the oldest one's.
  uint32_t slot = fake::Machine::kSlots + 0x400 * static_cast<uint32_t>(m.objects.size());
  if (m.objects.size() == 4) {
    slot = m.objects.front().second;
    m.objects.erase(m.objects.begin());
  }
  m.objects.emplace_back(b, slot);
  return static_cast<uint16_t>(slot);
}

uint16_t DataSegment() { return fake::machine().data_segment; }
uint16_t PspSegment() { return 0x0100; }

void IntCall(uint8_t number, const Regs& in, Regs& out) {
  fake::Machine& m = fake::machine();
  Regs r = in;
  if (r.ds == 0) r.ds = m.data_segment;
  if (r.es == 0) r.es = m.data_segment;
  r.flags = 0;
  if (m.interrupt) {
    m.interrupt(number, r);
  } else {
    ADD_FAILURE() << "unexpected INT " << std::hex << int{number};
    r.flags = 1;
  }
  out = r;
}

void FarRead(uint16_t segment, uint16_t offset, void* out, uint16_t size) {
  const uint32_t physical = uint32_t{segment} * 16 + offset;
  for (const auto& [start, bytes] : fake::machine().far) {
    if (physical >= start && physical + size <= start + bytes.size()) {
      memcpy(out, bytes.data() + (physical - start), size);
      return;
    }
  }
  ADD_FAILURE() << "FarRead of unknown memory " << std::hex << segment << ":" << offset;
  memset(out, 0, size);
}

}  // namespace orvane::dos::rm
