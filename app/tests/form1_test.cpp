// Form1 created in this process, driven through its controls; the input
// box is answered from a second thread while the click waits for it.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "app/resource.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::ControlText;

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(form_.Create(GetModuleHandleW(nullptr)));
    form_.Show(SW_SHOWNORMAL);
  }
  HWND Option(int index) { return GetDlgItem(form_.hWnd(), Form1::kOption1Id + index); }
  void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

  // Clicks option 2 and answers the input box it opens: types `typed` and
  // confirms, or cancels when `typed` is empty. Returns the box's title
  // and prompt as they were shown.
  std::pair<std::wstring, std::wstring> ClickOtherAndAnswer(const std::wstring& typed) {
    std::pair<std::wstring, std::wstring> seen;
    const auto answer = [&]() -> std::optional<std::pair<std::wstring, std::wstring>> {
      HWND box = testing::WaitForReadyDialog(GetCurrentProcessId());
      if (!box) return std::nullopt;
      const auto shown =
          std::pair(ControlText(box), ControlText(GetDlgItem(box, IDC_INPUTBOX_PROMPT)));
      SetDlgItemTextW(box, IDC_INPUTBOX_TEXT,
                      typed.empty() ? L"typed, then cancelled" : typed.c_str());
      testing::Press(box, typed.empty() ? IDCANCEL : IDOK);
      return shown;
    };
    const auto click = [&] { Click(Option(2)); };  // returns once the input box has closed
    EXPECT_TRUE(testing::AnswerDuring(answer, click, &seen)) << "no input box";
    return seen;
  }

  Form1 form_;
};

TEST_F(Form1Test, OptionsSetTheSystemName) {
  Click(Option(0));
  EXPECT_EQ(form_.cur_sys_name(), u"XP");
  Click(Option(1));
  EXPECT_EQ(form_.cur_sys_name(), u"2003");
  Click(Option(0));
  EXPECT_EQ(form_.cur_sys_name(), u"XP");
  EXPECT_EQ(SendMessageW(Option(0), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(Option(1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(Form1Test, OtherAsksForTheNameAndTakesItAsTyped) {
  const auto [title, prompt] = ClickOtherAndAnswer(L" XP ");
  EXPECT_EQ(title, L"Orvane");
  EXPECT_EQ(prompt, L"\u8F93\u5165\u7CFB\u7EDF\u540D\u79F0");  // 输入系统名称
  EXPECT_EQ(form_.cur_sys_name(), u" XP ");                    // no trimming
  EXPECT_EQ(SendMessageW(Option(2), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(Form1Test, OtherWithXpTypedBehavesLikeTheXpOption) {
  ClickOtherAndAnswer(L"XP");
  EXPECT_EQ(form_.cur_sys_name(), u"XP");
  EXPECT_EQ(form_.GetMenu(u"Dos", form_.cur_sys_name()), form_.GetMenu(u"Dos", u"XP"));
}

TEST_F(Form1Test, CancelledInputBoxGivesAnEmptyName) {
  ClickOtherAndAnswer(L"");
  EXPECT_EQ(form_.cur_sys_name(), u"");
  EXPECT_EQ(form_.GetMenu(u"Dos", form_.cur_sys_name()).size(), 147u);
}

TEST_F(Form1Test, ClickingTheSelectedOptionAsksNothingAgain) {
  ClickOtherAndAnswer(L"Vista");
  // Already selected: no click event, so no input box and the name stays.
  // A box that opens all the same is cancelled, so the click returns.
  EXPECT_FALSE(testing::DialogOpenedDuring([&] { Click(Option(2)); }));
  EXPECT_EQ(form_.cur_sys_name(), u"Vista");
}

TEST_F(Form1Test, TextControlsUseTheDefaultGuiFont) {
  // Read in this process: Wine answers WM_GETFONT from another one with 0.
  const auto gui_font = reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT));
  for (int id : {Form1::kCommand1Id, Form1::kCommand1Id + 1, Form1::kOption1Id,
                 Form1::kOption1Id + 1, Form1::kOption1Id + 2, Form1::kLabel1Id})
    EXPECT_EQ(SendMessageW(GetDlgItem(form_.hWnd(), id), WM_GETFONT, 0, 0), gui_font) << id;
}

TEST_F(Form1Test, WindowServesTrayAsMenuAndIcon) {
  const Variant picture = form_.GetProperty(u"icon");
  const auto class_icon = static_cast<std::int32_t>(GetClassLongPtrW(form_.hWnd(), GCLP_HICON));
  ASSERT_NE(class_icon, 0);
  EXPECT_EQ(picture.ToObject()->GetProperty(u"Handle"), Variant::Long(class_icon));

  QorSystem system;
  system.Tray(kTrue, form_, form_, u"Orvane 1.0");
  const UINT id = static_cast<UINT>(class_icon);
  EXPECT_TRUE(testing::TrayHasIcon(form_.hWnd(), id));
  system.Tray(kFalse, form_, form_, u"");
  EXPECT_FALSE(testing::TrayHasIcon(form_.hWnd(), id));
}

}  // namespace
}  // namespace orvane
