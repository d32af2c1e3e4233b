// QorDialog::DialogColor, DialogFont and BytesToString.
#include <windows.h>

#include <commdlg.h>

#include <cstddef>
#include <cstring>

#include "dialogs/qor_dialog.h"
#include "system/deferred_import.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

using unique_hglobal = unique_handle<null_traits<HGLOBAL, &GlobalFree>>;

// Unlocks a locked global block when it goes out of scope.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL block) noexcept : block_(block), data_(GlobalLock(block)) {}
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
  ~GlobalLockGuard() {
    if (data_) GlobalUnlock(block_);
  }
  void* data() const noexcept { return data_; }

 private:
  HGLOBAL block_;
  void* data_;
};

constexpr DWORD kColorFlags = CC_SOLIDCOLOR;                     // 0x80
constexpr DWORD kFontFlags = CF_SCREENFONTS | CF_EFFECTS;        // 0x101
constexpr UINT kFontBlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT;  // 0x42
constexpr LONG kBoldWeight = 700;

static_assert(sizeof(void*) != 4 || sizeof(CHOOSECOLORA) == 36);
static_assert(sizeof(void*) != 4 || sizeof(CHOOSEFONTA) == 60);

// The font record: the ANSI LOGFONT and one spare byte, which lengthens
// the face name to 33 bytes. 61 bytes, unpadded.
#pragma pack(push, 1)
struct FontRecord {
  LOGFONTA font;
  CHAR spare;
};
#pragma pack(pop)
static_assert(sizeof(FontRecord) == 61);

constexpr size_t kFaceNameBytes = sizeof(LOGFONTA::lfFaceName) + 1;

// An automation comparison with true (-1): only a number or a boolean
// holding -1 equals it; empty, null and text do not. An object raises
// a type mismatch.
bool EqualsTrue(const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::kNull:
    case Variant::Kind::kText:
      return false;
    default:
      return value.ToDouble() == -1;
  }
}

// The points times ten as the dialog takes them: 10.5 gives 105, 9.75
// gives 98 (halves to the even neighbour); beyond 32 bits, error 6.
std::int32_t TenthsOfPoints(const Variant& points) {
  return Variant(points.ToDouble() * 10).ToLong();
}

// Back to whole points with the same rounding: 105 gives 10, 115 gives 12.
std::int32_t WholePoints(INT tenths) { return Variant(static_cast<double>(tenths) / 10).ToLong(); }

}  // namespace

Boolean QorDialog::DialogColor(const Form& f, LateBoundObject& c) {
  COLORREF custom_colors[16] = {};  // fresh for every call: all black
  CHOOSECOLORA request{};
  request.lStructSize = sizeof(request);
  request.hwndOwner = f.hWnd();
  request.hInstance = reinterpret_cast<HWND>(GetModuleHandleA(nullptr));
  request.rgbResult = 0;  // without CC_RGBINIT the dialog opens on black
  request.lpCustColors = custom_colors;
  request.Flags = kColorFlags;
  if (!ORVANE_DEFERRED_IMPORT("comdlg32.dll", ChooseColorA)(&request)) return kFalse;
  c.SetProperty(u"ForeColor", Variant::Long(static_cast<std::int32_t>(request.rgbResult)));
  return kTrue;
}

Boolean QorDialog::DialogFont(const Form&, LateBoundObject& c) {
  FontRecord record{};
  CHOOSEFONTA request{};

  // A null "FontBold" counts as false; the other three must equal true.
  const Variant bold = c.GetProperty(u"FontBold");
  if (!bold.IsNull() && bold.ToBool()) record.font.lfWeight = kBoldWeight;
  if (EqualsTrue(c.GetProperty(u"FontItalic"))) record.font.lfItalic = 1;
  if (EqualsTrue(c.GetProperty(u"FontUnderLine"))) record.font.lfUnderline = 1;
  if (EqualsTrue(c.GetProperty(u"FontStrikethru"))) record.font.lfStrikeOut = 1;
  request.lStructSize = sizeof(request);

  unique_hglobal block(GlobalAlloc(kFontBlockFlags, sizeof(FontRecord)));
  if (!block) return kFalse;
  const GlobalLockGuard lock(block.get());
  if (!lock.data()) return kFalse;
  RtlMoveMemory(lock.data(), &record, sizeof(FontRecord));
  request.lpLogFont = static_cast<LOGFONTA*>(lock.data());
  request.hwndOwner = nullptr;
  request.iPointSize = TenthsOfPoints(c.GetProperty(u"FontSize"));
  request.Flags = kFontFlags;  // no CF_INITTOLOGFONTSTRUCT: the record does not preset the dialog

  if (ORVANE_DEFERRED_IMPORT("comdlg32.dll", ChooseFontA)(&request) != 1) return kFalse;
  RtlMoveMemory(&record, lock.data(), sizeof(FontRecord));
  c.SetProperty(u"FontBold", Variant::Boolean(record.font.lfWeight >= kBoldWeight));
  c.SetProperty(u"FontItalic", Variant::Boolean(record.font.lfItalic == 1));
  c.SetProperty(u"FontUnderLine", Variant::Boolean(record.font.lfUnderline == 1));
  c.SetProperty(u"FontStrikethru", Variant::Boolean(record.font.lfStrikeOut == 1));
  // The face name runs on into the spare byte.
  const char* face = reinterpret_cast<const char*>(&record) + offsetof(LOGFONTA, lfFaceName);
  c.SetProperty(u"FontName", Variant(BytesToString(std::string_view(face, kFaceNameBytes))));
  c.SetProperty(u"FontSize", Variant::Long(WholePoints(request.iPointSize)));
  return kTrue;
}

std::u16string QorDialog::BytesToString(std::string_view bytes) const {
  return code_page_.FromBytes(bytes.substr(0, bytes.find('\0')));
}

}  // namespace orvane
