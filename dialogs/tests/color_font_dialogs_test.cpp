// DialogColor and DialogFont with the real dialogs, opened by this thread
// and answered from a second one. What the dialogs are given is watched
// on this thread as they open. Wine's font dialog offers whole points and
// its own faces only; choices it cannot make are put into the request as
// the dialog closes, where a user's choice would be on Windows.
#include <windows.h>

#include <commdlg.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "dialogs/qor_dialog.h"
#include "dialogs/tests/dialog_answers.h"
#include "system/program_error.h"
#include "tests/support/common_test_support.h"
#include "tests/support/test_form.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::AnswerColorDialog;
using testing::AnswerDuring;
using testing::AnswerFontDialog;
using testing::ColorDialogView;
using testing::DialogOpenedDuring;
using testing::DialogSpy;
using testing::ErrorOf;
using testing::FontChoice;
using testing::FontDialogView;
using testing::PropertyBag;

PropertyBag ColoredControl(std::int32_t color) {
  return PropertyBag({{u"ForeColor", Variant::Long(color)}});
}

PropertyBag FontControl(Variant bold = Variant::Boolean(false),
                        Variant italic = Variant::Boolean(false), double size = 9) {
  return PropertyBag({{u"FontBold", bold},
                      {u"FontItalic", italic},
                      {u"FontUnderLine", Variant::Boolean(false)},
                      {u"FontStrikethru", Variant::Boolean(false)},
                      {u"FontSize", Variant(size)},
                      {u"FontName", Variant(u"Before")}});
}

class ColorDialogTest : public ::testing::Test {
 protected:
  // Calls DialogColor while a second thread answers with `color` (none:
  // cancel); `seen` receives what the dialog showed.
  Boolean Choose(PropertyBag& control, std::optional<COLORREF> color,
                 ColorDialogView* seen = nullptr, bool add_custom = false) {
    Boolean result = 0;
    EXPECT_TRUE(
        AnswerDuring([&] { return AnswerColorDialog(GetCurrentProcessId(), color, add_custom); },
                     [&] { result = dialogs_.DialogColor(form_, control); }, seen))
        << "no dialog appeared";
    return result;
  }

  testing::TestForm form_;
  QorDialog dialogs_;
};

TEST_F(ColorDialogTest, PureRedConfirmedSetsForeColorTo255OverBlackWhateverItHeld) {
  PropertyBag control = ColoredControl(0x00FF00);
  ColorDialogView seen;
  EXPECT_EQ(Choose(control, RGB(255, 0, 0), &seen), kTrue);
  EXPECT_EQ(control[u"ForeColor"], Variant::Long(255));
  EXPECT_EQ(seen.owner, form_.hWnd());
  // It opened on black, not on the green the control held.
  EXPECT_EQ(seen.red + L"," + seen.green + L"," + seen.blue, L"0,0,0");

  EXPECT_EQ(Choose(control, RGB(0, 128, 255)), kTrue);
  EXPECT_EQ(control[u"ForeColor"], Variant::Long(0xFF8000));
}

TEST_F(ColorDialogTest, CancelReturnsFalseAndLeavesTheControlAlone) {
  PropertyBag control = ColoredControl(0x123456);
  EXPECT_EQ(Choose(control, std::nullopt), kFalse);
  EXPECT_EQ(control[u"ForeColor"], Variant::Long(0x123456));
  EXPECT_TRUE(control.set_log().empty());
}

TEST_F(ColorDialogTest, EveryCallStartsWithSixteenBlackCustomColours) {
  // The custom colours the dialog works on, as it opens and as it closes.
  std::vector<std::vector<COLORREF>> at_open, at_close;
  const COLORREF* custom = nullptr;
  DialogSpy spy(
      [&](HWND, LPARAM request) {
        custom = reinterpret_cast<const CHOOSECOLORW*>(request)->lpCustColors;
        at_open.emplace_back(custom, custom + 16);
      },
      [&](HWND) { at_close.emplace_back(custom, custom + 16); });

  PropertyBag control = ColoredControl(0);
  EXPECT_EQ(Choose(control, RGB(255, 0, 0), nullptr, /*add_custom=*/true), kTrue);
  EXPECT_EQ(Choose(control, std::nullopt), kFalse);
  ASSERT_EQ(at_open.size(), 2u);
  ASSERT_EQ(at_close.size(), 2u);
  const std::vector<COLORREF> black(16, 0);
  EXPECT_EQ(at_open[0], black);
  EXPECT_EQ(at_close[0][0], RGB(255, 0, 0));  // the user added red in the first call
  EXPECT_EQ(at_open[1], black);               // and the second starts afresh
}

TEST_F(ColorDialogTest, AnUnreadableOwnerOrForeColorIsRaised) {
  PropertyBag control = ColoredControl(7);
  testing::BrokenForm broken;
  EXPECT_THROW(dialogs_.DialogColor(broken, control), ProgramError);

  PropertyBag without = PropertyBag({{u"BackColor", Variant::Long(0)}});
  int error = 0;
  AnswerDuring([&] { return AnswerColorDialog(GetCurrentProcessId(), RGB(1, 2, 3)); },
               [&] { error = ErrorOf([&] { dialogs_.DialogColor(form_, without); }); });
  EXPECT_EQ(error, 438);
}

// The request the font dialog was given, and a choice put into it as the
// dialog closes (a choice Wine's dialog cannot make).
struct FontRequestSeen {
  DWORD size = 0;
  HWND owner = nullptr;
  DWORD flags = 0;
  INT point_size = 0;
  LOGFONTA font{};
  SIZE_T block_size = 0;
};

class FontDialogTest : public ::testing::Test {
 protected:
  FontDialogTest()
      : spy_(
            [this](HWND, LPARAM lParam) {
              request_ = reinterpret_cast<CHOOSEFONTA*>(lParam);
              FontRequestSeen seen;
              seen.size = request_->lStructSize;
              seen.owner = request_->hwndOwner;
              seen.flags = request_->Flags;
              seen.point_size = request_->iPointSize;
              seen.font = *request_->lpLogFont;
              seen.block_size = GlobalSize(GlobalHandle(request_->lpLogFont));
              seen_ = seen;
            },
            [this](HWND) {
              if (request_ && override_) override_(*request_);
            }) {}

  // Calls DialogFont while a second thread confirms `choice` (none:
  // cancel); `override` then changes the request as the dialog closes.
  Boolean Choose(PropertyBag& control, const std::optional<FontChoice>& choice,
                 std::function<void(CHOOSEFONTA&)> override = nullptr,
                 FontDialogView* view_seen = nullptr) {
    override_ = std::move(override);
    request_ = nullptr;
    Boolean result = 0;
    EXPECT_TRUE(AnswerDuring([&] { return AnswerFontDialog(GetCurrentProcessId(), choice); },
                             [&] { result = dialogs_.DialogFont(form_, control); }, view_seen))
        << "no dialog appeared, or the choice was not offered";
    return result;
  }

  // A plain whole-point choice that any prefix offers.
  static FontChoice Plain() { return FontChoice{L"", L"12", 400, false, false}; }

  testing::TestForm form_;
  QorDialog dialogs_;
  CHOOSEFONTA* request_ = nullptr;
  std::optional<FontRequestSeen> seen_;
  std::function<void(CHOOSEFONTA&)> override_;
  DialogSpy spy_;
};

TEST_F(FontDialogTest, AChoiceMadeInTheDialogIsWrittenBackInOrder) {
  PropertyBag control = FontControl();
  FontDialogView view;
  FontChoice choice{L"", L"12", 700, /*strikeout=*/true, /*underline=*/false};
  EXPECT_EQ(Choose(control, choice, nullptr, &view), kTrue);
  EXPECT_EQ(view.owner, nullptr);  // the font dialog has no owner
  EXPECT_EQ(control[u"FontBold"], Variant::Boolean(true));
  EXPECT_EQ(control[u"FontItalic"], Variant::Boolean(false));
  EXPECT_EQ(control[u"FontUnderLine"], Variant::Boolean(false));
  EXPECT_EQ(control[u"FontStrikethru"], Variant::Boolean(true));
  EXPECT_EQ(control[u"FontName"], Variant(testing::U16(view.face)));
  EXPECT_EQ(control[u"FontSize"], Variant::Long(12));
  EXPECT_EQ(control.set_log(),
            (std::vector<std::u16string>{u"FontBold", u"FontItalic", u"FontUnderLine",
                                         u"FontStrikethru", u"FontName", u"FontSize"}));

  choice = FontChoice{L"", L"10", 400, false, /*underline=*/true};
  EXPECT_EQ(Choose(control, choice), kTrue);
  EXPECT_EQ(control[u"FontBold"], Variant::Boolean(false));
  EXPECT_EQ(control[u"FontUnderLine"], Variant::Boolean(true));
  EXPECT_EQ(control[u"FontStrikethru"], Variant::Boolean(false));
  EXPECT_EQ(control[u"FontSize"], Variant::Long(10));
}

TEST_F(FontDialogTest, TheRequestCarriesTheControlsFontInAGlobalBlock) {
  PropertyBag control = FontControl(Variant::Boolean(true), Variant::Integer(-1), 10.5);
  ASSERT_EQ(Choose(control, std::nullopt), kFalse);
  ASSERT_TRUE(seen_.has_value());
  EXPECT_EQ(seen_->size, sizeof(CHOOSEFONTA));
  EXPECT_EQ(seen_->owner, nullptr);
  EXPECT_EQ(seen_->flags, static_cast<DWORD>(CF_SCREENFONTS | CF_EFFECTS));
  EXPECT_EQ(seen_->point_size, 105);
  EXPECT_EQ(seen_->font.lfWeight, 700);
  EXPECT_EQ(seen_->font.lfItalic, 1);
  EXPECT_EQ(seen_->font.lfUnderline, 0);
  EXPECT_EQ(seen_->font.lfHeight, 0);
  EXPECT_EQ(seen_->font.lfFaceName[0], 0);
  EXPECT_EQ(seen_->block_size, 61u);

  // Null is not bold, and only -1 equals true; 9.75 points are 97.5
  // tenths, rounded to the even 98.
  PropertyBag other = FontControl(Variant::Null(), Variant::Integer(1), 9.75);
  ASSERT_EQ(Choose(other, std::nullopt), kFalse);
  EXPECT_EQ(seen_->font.lfWeight, 0);
  EXPECT_EQ(seen_->font.lfItalic, 0);
  EXPECT_EQ(seen_->point_size, 98);
}

TEST_F(FontDialogTest, HalfPointSizesRoundToTheEvenWholePoint) {
  for (auto [tenths, points] : {std::pair{105, 10}, {115, 12}, {85, 8}, {95, 10}}) {
    PropertyBag control = FontControl();
    EXPECT_EQ(Choose(control, Plain(), [&](CHOOSEFONTA& r) { r.iPointSize = tenths; }), kTrue);
    EXPECT_EQ(control[u"FontSize"], Variant::Long(points)) << tenths;
  }
}

TEST_F(FontDialogTest, OnlyWeightsFrom700AreBold) {
  for (auto [weight, bold] : {std::pair{600, false}, {700, true}, {900, true}}) {
    PropertyBag control = FontControl(Variant::Boolean(!bold));
    EXPECT_EQ(Choose(control, Plain(), [&](CHOOSEFONTA& r) { r.lpLogFont->lfWeight = weight; }),
              kTrue);
    EXPECT_EQ(control[u"FontBold"], Variant::Boolean(bold)) << weight;
  }
}

TEST_F(FontDialogTest, FaceNamesComeBackWhole) {
  auto with_face = [](std::string face) {
    return [face](CHOOSEFONTA& r) {
      // The face may fill all 32 bytes; the record's spare byte ends it.
      std::memset(r.lpLogFont->lfFaceName, 0, LF_FACESIZE);
      std::memcpy(r.lpLogFont->lfFaceName, face.data(), face.size());
    };
  };
  PropertyBag control = FontControl();
  const std::string thirty_one = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcde";
  EXPECT_EQ(Choose(control, Plain(), with_face(thirty_one)), kTrue);
  EXPECT_EQ(control[u"FontName"], Variant(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde"));

  const std::string thirty_two = thirty_one + "f";
  EXPECT_EQ(Choose(control, Plain(), with_face(thirty_two)), kTrue);
  EXPECT_EQ(control[u"FontName"], Variant(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef"));

  ASSERT_EQ(GetACP(), 936u);
  const std::string song_ti = "\xCB\xCE\xCC\xE5";  // 宋体 in code page 936
  EXPECT_EQ(Choose(control, Plain(), with_face(song_ti)), kTrue);
  EXPECT_EQ(control[u"FontName"], Variant(u"\u5B8B\u4F53"));
}

TEST_F(FontDialogTest, CancelLeavesAllSixPropertiesAlone) {
  PropertyBag control = FontControl(Variant::Boolean(true), Variant::Boolean(true), 11);
  EXPECT_EQ(Choose(control, std::nullopt), kFalse);
  EXPECT_TRUE(control.set_log().empty());
  EXPECT_EQ(control[u"FontName"], Variant(u"Before"));
  EXPECT_EQ(control[u"FontSize"], Variant(11.0));
}

TEST_F(FontDialogTest, TheFormIsNotRead) {
  PropertyBag control = FontControl();
  Boolean result = 0;
  testing::BrokenForm broken;
  EXPECT_TRUE(AnswerDuring([&] { return AnswerFontDialog(GetCurrentProcessId(), Plain()); },
                           [&] { result = dialogs_.DialogFont(broken, control); }));
  EXPECT_EQ(result, kTrue);
  EXPECT_EQ(control[u"FontSize"], Variant::Long(12));
}

// Calls DialogFont on `control` while a watcher cancels any dialog that
// appears; the error raised (0 for none) and whether a dialog was shown.
std::pair<int, bool> FontErrorWithoutDialog(QorDialog& dialogs, PropertyBag& control) {
  int error = 0;
  testing::BrokenForm unused;
  const bool dialog_shown =
      DialogOpenedDuring([&] { error = ErrorOf([&] { dialogs.DialogFont(unused, control); }); });
  return {error, dialog_shown};
}

TEST_F(FontDialogTest, AMissingPropertyIsRaisedBeforeAnyDialog) {
  for (std::u16string missing : {u"FontUnderLine", u"FontSize"}) {
    PropertyBag full = FontControl();
    std::vector<std::pair<std::u16string, Variant>> properties;
    for (const char16_t* name : {u"FontBold", u"FontItalic", u"FontUnderLine", u"FontStrikethru",
                                 u"FontSize", u"FontName"})
      if (name != missing) properties.emplace_back(name, full[name]);
    PropertyBag control(properties);
    EXPECT_EQ(FontErrorWithoutDialog(dialogs_, control), std::pair(438, false))
        << testing::Ascii(missing);
    EXPECT_TRUE(control.set_log().empty());
  }
}

TEST_F(FontDialogTest, ASizeBeyond32BitsOverflowsBeforeAnyDialog) {
  PropertyBag control = FontControl(Variant::Boolean(false), Variant::Boolean(false), 1e12);
  EXPECT_EQ(FontErrorWithoutDialog(dialogs_, control), std::pair(6, false));
  EXPECT_TRUE(control.set_log().empty());
}

}  // namespace
}  // namespace orvane
