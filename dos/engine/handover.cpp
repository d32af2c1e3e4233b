#include "dos/engine/handover.h"

#include "dos/engine/bytes.h"

namespace orvane::dos {
namespace {

constexpr char kWindowsPath[] = "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsLead(char c) {
  const auto b = static_cast<uint8_t>(c);
  return b >= 0x81 && b <= 0xFE;
}

// ASCII case-insensitive comparison of `size` bytes of `a` with the
// zero-terminated `b`.
bool SameText(const char* a, size_t size, const char* b) {
  size_t i = 0;
  for (; i < size; ++i) {
    if (b[i] == 0 || Lower(a[i]) != Lower(b[i])) return false;
  }
  return b[i] == 0;
}

struct Line {
  const char* text;
  size_t size;
};

// The next line of `text` from `*pos`, without its CR LF.
bool NextLine(const char* text, size_t size, size_t* pos, Line* line) {
  if (*pos >= size) return false;
  size_t end = *pos;
  while (end < size && text[end] != '\n') ++end;
  line->text = text + *pos;
  line->size = end - *pos;
  if (line->size > 0 && line->text[line->size - 1] == '\r') --line->size;
  *pos = end < size ? end + 1 : end;
  return true;
}

// Trims blanks at both ends.
Line Trim(Line l) {
  while (l.size > 0 && (l.text[0] == ' ' || l.text[0] == '\t')) ++l.text, --l.size;
  while (l.size > 0 && (l.text[l.size - 1] == ' ' || l.text[l.size - 1] == '\t')) --l.size;
  return l;
}

// The key of a "key=value" line (trimmed) and, in `value`, what follows '='.
bool Split(Line l, Line* key, Line* value) {
  for (size_t i = 0; i < l.size; ++i) {
    if (l.text[i] == '=') {
      *key = Trim(Line{l.text, i});
      *value = Trim(Line{l.text + i + 1, l.size - i - 1});
      return true;
    }
  }
  return false;
}

bool ParseHex(Line l, uint32_t* out) {
  uint32_t v = 0;
  int digits = 0;
  for (size_t i = 0; i < l.size; ++i) {
    const char c = l.text[i];
    if (c == '-' && i == 4) continue;
    uint32_t d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v << 4 | d;
    ++digits;
  }
  *out = v;
  return digits == 8 && (l.size == 8 || (l.size == 9 && l.text[4] == '-'));
}

bool ParseDecimal(Line l, uint16_t* out) {
  uint32_t v = 0;
  if (l.size == 0 || l.size > 5) return false;
  for (size_t i = 0; i < l.size; ++i) {
    if (l.text[i] < '0' || l.text[i] > '9') return false;
    v = v * 10 + (l.text[i] - '0');
  }
  if (v > 0xFFFF) return false;
  *out = static_cast<uint16_t>(v);
  return true;
}

bool CopyField(Line value, char* out, size_t capacity) {
  if (value.size == 0 || value.size >= capacity) return false;
  CopyBytes(out, value.text, value.size);
  out[value.size] = 0;
  return true;
}

// Appends to a bounded buffer; remembers when something did not fit.
class Out {
 public:
  Out(char* out, size_t capacity) : out_(out), capacity_(capacity) {}
  void Add(const char* text, size_t size) {
    if (size > capacity_ - size_) {
      overflow_ = true;
      return;
    }
    CopyBytes(out_ + size_, text, size);
    size_ += size;
  }
  void Add(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    Add(text, n);
  }
  void AddLine(Line l) {
    Add(l.text, l.size);
    Add("\r\n", 2);
  }
  size_t Result() const { return overflow_ ? 0 : size_; }

 private:
  char* out_;
  size_t capacity_;
  size_t size_ = 0;
  bool overflow_ = false;
};

bool IsSection(Line l) { return l.size > 0 && l.text[0] == '['; }

}  // namespace

bool SamePath(const char* a, const char* b) {
  for (size_t i = 0;; ++i) {
    if (a[i] != b[i] && Lower(a[i]) != Lower(b[i])) return false;
    if (a[i] == 0) return true;
    if (IsLead(a[i])) {
      ++i;
      if (a[i] != b[i]) return false;
      if (a[i] == 0) return true;
    }
  }
}

bool ParseTicket(const char* text, size_t size, Ticket* ticket) {
  *ticket = Ticket{};
  size_t pos = 0;
  Line line;
  bool in_section = false;
  unsigned seen = 0;
  while (NextLine(text, size, &pos, &line)) {
    line = Trim(line);
    if (line.size == 0) continue;
    if (IsSection(line)) {
      in_section = SameText(line.text, line.size, "[Orvane]");
      continue;
    }
    Line key, value;
    if (!in_section || !Split(line, &key, &value)) continue;
    bool ok = true;
    if (SameText(key.text, key.size, "Job")) {
      ok = (SameText(value.text, value.size, "BF") || SameText(value.text, value.size, "HF")) &&
           CopyField(value, ticket->job, sizeof ticket->job);
      ticket->job[0] = static_cast<char>(ticket->job[0] & ~0x20);
      ticket->job[1] = static_cast<char>(ticket->job[1] & ~0x20);
      seen |= 1;
    } else if (SameText(key.text, key.size, "Image")) {
      ok = CopyField(value, ticket->image, sizeof ticket->image);
      seen |= 2;
    } else if (SameText(key.text, key.size, "Serial")) {
      ok = ParseHex(value, &ticket->serial);
      seen |= 4;
    } else if (SameText(key.text, key.size, "ShortPath")) {
      ok = CopyField(value, ticket->short_path, sizeof ticket->short_path);
      seen |= 8;
    } else if (SameText(key.text, key.size, "BootAttributes")) {
      ok = ParseDecimal(value, &ticket->boot_attributes);
      seen |= 16;
    }
    if (!ok) return false;
  }
  return seen == 31;
}

bool TicketMatches(const Ticket& ticket, const char* job, const char* argument) {
  return SamePath(ticket.job, job) && SamePath(ticket.image, argument);
}

bool WithoutJobLines(const char* batch, size_t size, char* out, size_t capacity, size_t* length) {
  size_t pos = 0, written = 0;
  bool dropped = false;
  Line line;
  while (NextLine(batch, size, &pos, &line)) {
    Line command = Trim(line);
    if (command.size > 0 && command.text[0] == '@') {
      command = Trim(Line{command.text + 1, command.size - 1});
    }
    const char first = Lower(command.size > 0 ? command.text[0] : 0);
    if (command.size >= 2 && (first == 'b' || first == 'h') && Lower(command.text[1]) == 'f' &&
        (command.size == 2 || command.text[2] == ' ' || command.text[2] == '\t')) {
      dropped = true;
      continue;
    }
    // The whole line with its end, as it stands in the file.
    const size_t start = static_cast<size_t>(line.text - batch);
    if (written + (pos - start) > capacity) return false;
    CopyBytes(out + written, batch + start, pos - start);
    written += pos - start;
  }
  *length = written;
  return dropped;
}

bool DefaultIsDos(const char* menu, size_t size) {
  bool in_loader = false;
  size_t pos = 0;
  Line line;
  while (NextLine(menu, size, &pos, &line)) {
    const Line t = Trim(line);
    Line key, value;
    if (IsSection(t)) {
      in_loader = SameText(t.text, t.size, "[boot loader]");
    } else if (in_loader && Split(t, &key, &value) && SameText(key.text, key.size, "default")) {
      return SameText(value.text, value.size, "C:\\");
    }
  }
  return false;
}

size_t ComposeNormalMenu(const char* menu, size_t size, char* out, size_t capacity) {
  // The entry to make the default: the first under [operating systems]
  // that is not the DOS entry C:\.
  Line chosen{nullptr, 0}, chosen_key{nullptr, 0};
  bool has_systems = false, in_systems = false;
  size_t pos = 0;
  Line line;
  while (NextLine(menu, size, &pos, &line)) {
    const Line t = Trim(line);
    if (IsSection(t)) {
      in_systems = SameText(t.text, t.size, "[operating systems]");
      has_systems |= in_systems;
      continue;
    }
    Line key, value;
    if (in_systems && chosen.text == nullptr && Split(t, &key, &value) &&
        !SameText(key.text, key.size, "C:\\")) {
      chosen = t;
      chosen_key = key;
    }
  }

  Out o(out, capacity);
  if (!has_systems || chosen.text == nullptr) {
    // Nothing to keep: the standard menu of a single Windows.
    o.Add("[boot loader]\r\ntimeout = 0\r\ndefault=");
    o.Add(kWindowsPath);
    o.Add("\r\n[operating systems]\r\n");
    o.Add(kWindowsPath);
    o.Add("=\"\" /fastdetect\r\nC:\\=\"Microsoft Windows\"\r\n");
    return o.Result();
  }

  bool in_loader = false, in_systems_out = false, wrote_default = false;
  pos = 0;
  while (NextLine(menu, size, &pos, &line)) {
    const Line t = Trim(line);
    Line key, value;
    if (IsSection(t)) {
      if (in_loader && !wrote_default) {
        o.Add("default=");
        o.Add(chosen_key.text, chosen_key.size);
        o.Add("\r\n");
        wrote_default = true;
      }
      in_loader = SameText(t.text, t.size, "[boot loader]");
      in_systems_out = SameText(t.text, t.size, "[operating systems]");
      o.AddLine(line);
      if (in_systems_out) o.AddLine(chosen);
      continue;
    }
    if (in_loader && Split(t, &key, &value) && SameText(key.text, key.size, "default")) {
      o.Add("default=");
      o.Add(chosen_key.text, chosen_key.size);
      o.Add("\r\n");
      wrote_default = true;
      continue;
    }
    if (in_systems_out && t.text == chosen.text) continue;
    if (line.size == 0 && pos >= size) continue;  // the file's final line break
    o.AddLine(line);
  }
  return o.Result();
}

}  // namespace orvane::dos
