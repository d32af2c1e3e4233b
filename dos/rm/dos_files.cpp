// DOS file handles (INT 21h).
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {

bool DosOpen(const char* path, uint8_t mode, uint16_t* handle, uint16_t* error) {
  Regs r;
  r.eax = mode;
  r.edx = Offset(path);
  Dos(0x3D, r);
  if (!DosResult(r, error)) return false;
  *handle = r.ax();
  return true;
}

bool DosExtendedOpen(const char* path, uint16_t mode, uint16_t action, uint16_t* handle,
                     uint16_t* error) {
  Regs r;
  r.eax = 0x6C00;
  r.ebx = mode | 0x1000u;  // BH bit 4: files up to 4 GiB
  r.edx = action;
  r.esi = Offset(path);
  IntCall(0x21, r, r);
  if (!DosResult(r, error)) return false;
  *handle = r.ax();
  return true;
}

bool DosCreate(const char* path, uint16_t attributes, uint16_t* handle, uint16_t* error) {
  Regs r;
  r.ecx = attributes;
  r.edx = Offset(path);
  Dos(0x3C, r);
  if (!DosResult(r, error)) return false;
  *handle = r.ax();
  return true;
}

bool DosRead(uint16_t handle, void* data, uint16_t size, uint16_t* got, uint16_t* error) {
  Regs r;
  r.ebx = handle;
  r.ecx = size;
  r.edx = Offset(data);
  Dos(0x3F, r);
  if (!DosResult(r, error)) return false;
  *got = r.ax();
  return true;
}

bool DosWrite(uint16_t handle, const void* data, uint16_t size, uint16_t* written,
              uint16_t* error) {
  Regs r;
  r.ebx = handle;
  r.ecx = size;
  r.edx = Offset(data);
  Dos(0x40, r);
  if (!DosResult(r, error)) return false;
  *written = r.ax();
  return true;
}

bool DosReadFar(uint16_t handle, uint16_t segment, uint16_t offset, uint16_t size, uint16_t* got,
                uint16_t* error) {
  Regs r;
  r.ebx = handle;
  r.ecx = size;
  r.edx = offset;
  r.ds = segment;
  Dos(0x3F, r);
  if (!DosResult(r, error)) return false;
  *got = r.ax();
  return true;
}

bool DosWriteFar(uint16_t handle, uint16_t segment, uint16_t offset, uint16_t size,
                 uint16_t* written, uint16_t* error) {
  Regs r;
  r.ebx = handle;
  r.ecx = size;
  r.edx = offset;
  r.ds = segment;
  Dos(0x40, r);
  if (!DosResult(r, error)) return false;
  *written = r.ax();
  return true;
}

bool DosAllocate(uint16_t paragraphs, uint16_t* segment, uint16_t* error) {
  Regs r;
  r.ebx = paragraphs;
  Dos(0x48, r);
  if (!DosResult(r, error)) return false;
  *segment = r.ax();
  return true;
}

bool DosSeek(uint16_t handle, uint32_t offset, uint8_t origin, uint32_t* position) {
  Regs r;
  r.eax = origin;
  r.ebx = handle;
  r.ecx = offset >> 16;
  r.edx = offset & 0xFFFF;
  Dos(0x42, r);
  if (r.carry()) return false;
  if (position) *position = (uint32_t{r.dx()} << 16) | r.ax();
  return true;
}

bool DosClose(uint16_t handle) {
  Regs r;
  r.ebx = handle;
  return !Dos(0x3E, r).carry();
}

bool DosCommit(uint16_t handle) {
  Regs r;
  r.ebx = handle;
  return !Dos(0x68, r).carry();
}

bool DosDelete(const char* path, uint16_t* error) {
  Regs r;
  r.edx = Offset(path);
  return DosResult(Dos(0x41, r), error);
}

bool DosRename(const char* from, const char* to, uint16_t* error) {
  Regs r;
  r.edx = Offset(from);
  r.edi = Offset(to);  // ES:DI, ES being our data segment
  return DosResult(Dos(0x56, r), error);
}

bool DosGetAttributes(const char* path, uint16_t* attributes) {
  Regs r;
  r.eax = 0x00;  // AL=00h: get
  r.edx = Offset(path);
  Dos(0x43, r);
  if (r.carry()) return false;
  *attributes = r.cx();
  return true;
}

bool DosSetAttributes(const char* path, uint16_t attributes) {
  Regs r;
  r.eax = 0x01;  // AL=01h: set
  r.ecx = attributes;
  r.edx = Offset(path);
  return !Dos(0x43, r).carry();
}

}  // namespace orvane::dos::rm
