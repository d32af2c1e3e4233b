// What the Windows side leaves on drive C for BF and HF: the job ticket
// C:\ORVANE.JOB and the user's own boot menu C:\BOOT.ORV; and the normal
// boot menu that BF and HF put back.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace orvane::dos {

constexpr size_t kPathCapacity = 260;

struct Ticket {
  char job[4] = {};                     // "BF" or "HF"
  char image[kPathCapacity] = {};       // the Windows path, as on the batch line
  uint32_t serial = 0;                  // the image volume's serial number
  char short_path[kPathCapacity] = {};  // the 8.3 path on that volume, no drive letter
  uint16_t boot_attributes = 0;         // of the user's C:\boot.ini
};

// Parses the ticket's text (`size` bytes, CR LF or LF lines). False when
// the "[Orvane]" line or any of the five fields is missing or malformed.
bool ParseTicket(const char* text, size_t size, Ticket* ticket);

// True when `ticket` is for `job` ("BF"/"HF") on `argument`, the image
// path the program was given (compared without regard to ASCII case;
// the second byte of a double-byte character is compared as it is).
bool TicketMatches(const Ticket& ticket, const char* job, const char* argument);

// Makes the normal menu from a boot.ini whose default is the DOS entry
// "C:\": the first other entry becomes the default and comes first, the
// time-out is 0, and every other line is kept. Without any other entry the
// standard Windows entry is used. Returns the length written to `out`, or
// 0 when it does not fit in `capacity`.
size_t ComposeNormalMenu(const char* menu, size_t size, char* out, size_t capacity);

// Copies a batch file without the lines that start BF or HF (the job's
// line the Windows side writes into C:\AUTOEXEC.BAT, in any case, with
// blanks or "@" before it), keeping every other line as it is, into `out`;
// `*length` gets its size. False when the batch has no such line (there is
// nothing to write back) or the rest does not fit in `capacity`.
bool WithoutJobLines(const char* batch, size_t size, char* out, size_t capacity, size_t* length);

// True when the menu's default (in [boot loader]) is the DOS entry C:\.
bool DefaultIsDos(const char* menu, size_t size);

// ASCII case-insensitive equality of two zero-terminated strings, with the
// trail byte of a double-byte character (lead byte 81h..FEh) exact.
bool SamePath(const char* a, const char* b);

}  // namespace orvane::dos
