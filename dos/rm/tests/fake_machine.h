// A stand-in for the real-mode machine, so that the real-mode layer's
// services build and run natively: IntCall, the data segment and far
// reads of dos_api.h go to a Machine that the tests program.
#pragma once

#include <stdint.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "dos/rm/dos_api.h"

namespace orvane::dos::rm::fake {

struct Machine {
  // Our data segment: 64 KB whose offsets are what Offset() gives for
  // pointers into it. The services' own variables (static buffers, records
  // on the stack) get four 1 KB slots from 0xF000 up, so buffers in `data`
  // stay below that.
  uint16_t data_segment = 0x1000;
  std::vector<uint8_t> data = std::vector<uint8_t>(0x10000);
  static constexpr uint32_t kSlots = 0xF000;

  // The interrupt handler; it gets the registers with segments of 0
  // already replaced by the data segment.
  std::function<void(uint8_t number, Regs& r)> interrupt;

  // Memory outside the data segment for FarRead: physical address -> bytes.
  std::map<uint32_t, std::vector<uint8_t>> far;

  // The host pointer for `segment`:`offset` when it lies in our data
  // segment (or one of the slots); nullptr otherwise.
  uint8_t* Pointer(uint16_t segment, uint32_t offset);

  std::vector<std::pair<const uint8_t*, uint32_t>> objects;  // pointer -> slot offset
};

// The one machine the fakes use; Reset() gives a fresh one.
Machine& machine();
void Reset();

}  // namespace orvane::dos::rm::fake
