// DOS file handles (INT 21h).
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {

bool DosOpen(const char* path, uint8_t mode, uint16_t* handle, uint16_t* error) {
  Regs r;
  r.ah = 0x3D;
  r.al = mode;
  r.dx = Offset(path);
  if (!DosResult(Dos(r), error)) return false;
  *handle = r.ax;
  return true;
}

bool DosExtendedOpen(const char* path, uint16_t mode, uint16_t action, uint16_t* handle,
                     uint16_t* error) {
  Regs r;
  r.ax = 0x6C00;
  r.bx = mode | 0x1000;  // BH bit 4: files up to 4 GiB
  r.dx = action;
  r.si = Offset(path);
  if (!DosResult(Dos(r), error)) return false;
  *handle = r.ax;
  return true;
}

bool DosCreate(const char* path, uint16_t attributes, uint16_t* handle, uint16_t* error) {
  Regs r;
  r.ah = 0x3C;
  r.cx = attributes;
  r.dx = Offset(path);
  if (!DosResult(Dos(r), error)) return false;
  *handle = r.ax;
  return true;
}

bool DosRead(uint16_t handle, void* data, uint16_t size, uint16_t* got, uint16_t* error) {
  Regs r;
  r.ah = 0x3F;
  r.bx = handle;
  r.cx = size;
  r.dx = Offset(data);
  if (!DosResult(Dos(r), error)) return false;
  *got = r.ax;
  return true;
}

bool DosWrite(uint16_t handle, const void* data, uint16_t size, uint16_t* written,
              uint16_t* error) {
  Regs r;
  r.ah = 0x40;
  r.bx = handle;
  r.cx = size;
  r.dx = Offset(data);
  if (!DosResult(Dos(r), error)) return false;
  *written = r.ax;
  return true;
}

bool DosReadFar(uint16_t handle, uint16_t segment, uint16_t offset, uint16_t size, uint16_t* got,
                uint16_t* error) {
  Regs r;
  r.ah = 0x3F;
  r.bx = handle;
  r.cx = size;
  r.ds = segment;
  r.dx = offset;
  if (!DosResult(Dos(r), error)) return false;
  *got = r.ax;
  return true;
}

bool DosWriteFar(uint16_t handle, uint16_t segment, uint16_t offset, uint16_t size,
                 uint16_t* written, uint16_t* error) {
  Regs r;
  r.ah = 0x40;
  r.bx = handle;
  r.cx = size;
  r.ds = segment;
  r.dx = offset;
  if (!DosResult(Dos(r), error)) return false;
  *written = r.ax;
  return true;
}

bool DosAllocate(uint16_t paragraphs, uint16_t* segment, uint16_t* error) {
  Regs r;
  r.ah = 0x48;
  r.bx = paragraphs;
  if (!DosResult(Dos(r), error)) return false;
  *segment = r.ax;
  return true;
}

uint16_t DosLargestBlock() {
  Regs r;
  r.ah = 0x48;
  r.bx = 0xFFFF;
  Dos(r);
  return r.bx;
}

bool DosSeek(uint16_t handle, uint32_t offset, uint8_t origin, uint32_t* position) {
  Regs r;
  r.ah = 0x42;
  r.al = origin;
  r.bx = handle;
  r.cx = static_cast<uint16_t>(offset >> 16);
  r.dx = static_cast<uint16_t>(offset);
  if (Dos(r).carry()) return false;
  if (position) *position = (uint32_t{r.dx} << 16) | r.ax;
  return true;
}

bool DosClose(uint16_t handle) {
  Regs r;
  r.ah = 0x3E;
  r.bx = handle;
  return !Dos(r).carry();
}

bool DosCommit(uint16_t handle) {
  Regs r;
  r.ah = 0x68;
  r.bx = handle;
  return !Dos(r).carry();
}

bool DosDelete(const char* path, uint16_t* error) {
  Regs r;
  r.ah = 0x41;
  r.dx = Offset(path);
  return DosResult(Dos(r), error);
}

bool DosRename(const char* from, const char* to, uint16_t* error) {
  Regs r;
  r.ah = 0x56;
  r.dx = Offset(from);
  r.di = Offset(to);  // ES:DI, ES being our data segment
  return DosResult(Dos(r), error);
}

bool DosGetAttributes(const char* path, uint16_t* attributes) {
  Regs r;
  r.ax = 0x4300;  // AL=00h: get
  r.dx = Offset(path);
  if (Dos(r).carry()) return false;
  *attributes = r.cx;
  return true;
}

bool DosSetAttributes(const char* path, uint16_t attributes) {
  Regs r;
  r.ax = 0x4301;  // AL=01h: set
  r.cx = attributes;
  r.dx = Offset(path);
  return !Dos(r).carry();
}

}  // namespace orvane::dos::rm
