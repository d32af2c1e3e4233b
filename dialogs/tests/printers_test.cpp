// The default-printer entry in the user's profile, read back with the
// wide profile calls, and the change notice every top-level window gets.
// Each case runs in a Wine prefix of its own: the entry outlives the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>

#include "dialogs/qor_dialog.h"
#include "system/program_error.h"
#include "system/unique_handle.h"
#include "tests/support/common_test_support.h"
#include "tests/support/test_form.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::BackgroundThread;
using testing::Wide;

class FakePrinter : public Printer {
 public:
  FakePrinter(std::u16string device, std::u16string driver, std::u16string port)
      : device_(std::move(device)), driver_(std::move(driver)), port_(std::move(port)) {}
  std::u16string DeviceName() const override { return device_; }
  std::u16string DriverName() const override {
    if (driver_fails_) throw ProgramError(ErrorNumber::kNoSuchProperty);
    return driver_;
  }
  std::u16string Port() const override { return port_; }
  void FailDriverName() { driver_fails_ = true; }

 private:
  std::u16string device_, driver_, port_;
  bool driver_fails_ = false;
};

// The stored entry, read by another path than the code under test.
std::optional<std::wstring> StoredEntry() {
  wchar_t buffer[4096] = {};
  GetProfileStringW(L"windows", L"device", L"<none>", buffer, 4096);
  if (std::wstring(buffer) == L"<none>") return std::nullopt;
  return std::wstring(buffer);
}

void StoreEntry(const wchar_t* entry) { WriteProfileStringW(L"windows", L"device", entry); }

TEST(PrinterTest, SetStoresTheThreeFieldsAndGetReturnsThem) {
  QorDialog dialogs;
  dialogs.SetDefaultPrinter(FakePrinter(u"P1", u"winspool", u"LPT1:"));
  EXPECT_EQ(StoredEntry(), L"P1,winspool,LPT1:");
  EXPECT_EQ(dialogs.GetDefaultPrinter(), u"P1,winspool,LPT1:");

  // Empty fields stay empty; nothing is added or trimmed on the way in.
  dialogs.SetDefaultPrinter(FakePrinter(u"", u"winspool", u""));
  EXPECT_EQ(StoredEntry(), L",winspool,");
}

TEST(PrinterTest, NoEntryGivesEmptyText) {
  StoreEntry(nullptr);
  ASSERT_EQ(StoredEntry(), std::nullopt);
  EXPECT_EQ(QorDialog().GetDefaultPrinter(), u"");
}

TEST(PrinterTest, GetCutsALongEntryTo1023BytesAndTrimsOnlyItsEnds) {
  QorDialog dialogs;
  const std::wstring long_entry = L"P" + std::wstring(1999, L'x');
  StoreEntry(long_entry.c_str());
  EXPECT_EQ(Wide(dialogs.GetDefaultPrinter()), long_entry.substr(0, 1023));

  dialogs.ResetDefaultPrinter(u"  Office Laser , winspool ,LPT1:  ");
  EXPECT_EQ(dialogs.GetDefaultPrinter(), u"Office Laser , winspool ,LPT1:");
}

TEST(PrinterTest, ChineseDeviceNameComesBackWhole) {
  QorDialog dialogs;
  const std::u16string entry = u"\u6FC0\u5149\u6253\u5370\u673A,winspool,LPT1:";  // 激光打印机
  dialogs.SetDefaultPrinter(FakePrinter(u"\u6FC0\u5149\u6253\u5370\u673A", u"winspool", u"LPT1:"));
  EXPECT_EQ(StoredEntry(), Wide(entry));
  EXPECT_EQ(dialogs.GetDefaultPrinter(), entry);
}

TEST(PrinterTest, ResetWithAnEarlierResultRestoresIt) {
  QorDialog dialogs;
  dialogs.SetDefaultPrinter(FakePrinter(u"P1", u"winspool", u"LPT1:"));
  const std::u16string saved = dialogs.GetDefaultPrinter();
  dialogs.SetDefaultPrinter(FakePrinter(u"P2", u"winspool", u"LPT2:"));
  ASSERT_EQ(dialogs.GetDefaultPrinter(), u"P2,winspool,LPT2:");
  dialogs.ResetDefaultPrinter(saved);
  EXPECT_EQ(StoredEntry(), L"P1,winspool,LPT1:");
}

TEST(PrinterTest, APropertyThatFailsIsRaisedAndNothingIsWritten) {
  StoreEntry(L"P0,winspool,LPT1:");
  FakePrinter printer(u"P1", u"winspool", u"LPT1:");
  printer.FailDriverName();
  EXPECT_EQ(testing::ErrorOf([&] { QorDialog().SetDefaultPrinter(printer); }), 438);
  EXPECT_EQ(StoredEntry(), L"P0,winspool,LPT1:");
}

// The procedure of a top-level window that records the section names of
// the WM_WININICHANGE messages it gets. Windows hands a wide window the
// section converted; Wine's broadcast passes the caller's ANSI bytes as
// they are, so either form counts.
std::string g_notices;

LRESULT CALLBACK NoticeWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_WININICHANGE && wParam == 0 && lParam != 0) {
    if (std::wstring(reinterpret_cast<const wchar_t*>(lParam)) == L"windows" ||
        std::string(reinterpret_cast<const char*>(lParam)) == "windows")
      g_notices += "windows;";
    else
      g_notices += "other;";
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST(PrinterTest, BothWritersTellEveryTopLevelWindow) {
  testing::TestForm window;
  SetWindowLongPtrW(window.hWnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NoticeWindowProc));

  QorDialog dialogs;
  g_notices.clear();
  dialogs.SetDefaultPrinter(FakePrinter(u"P1", u"winspool", u"LPT1:"));
  EXPECT_EQ(g_notices, "windows;");  // sent, not posted: handled before the call returns
  dialogs.ResetDefaultPrinter(u"P2,winspool,LPT1:");
  EXPECT_EQ(g_notices, "windows;windows;");
}

// A window whose thread has stopped taking messages does not keep the
// notice (and so the caller) waiting for good.
TEST(PrinterTest, AHungWindowDoesNotBlockTheNotice) {
  unique_handle_t release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  unique_handle_t created(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<bool> done = false;
  {
    BackgroundThread hung([&] {
      HWND window = CreateWindowExW(0, L"STATIC", L"hung", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                    nullptr, nullptr, nullptr);
      SetEvent(created.get());
      WaitForSingleObject(release.get(), 60000);
      DestroyWindow(window);
    });
    ASSERT_EQ(WaitForSingleObject(created.get(), 10000), WAIT_OBJECT_0);
    {
      BackgroundThread caller([&] {
        QorDialog().ResetDefaultPrinter(u"P1,winspool,LPT1:");
        done = true;
      });
      EXPECT_TRUE(testing::WaitUntil([&] { return done.load(); }, std::chrono::seconds(30)));
      SetEvent(release.get());
    }
  }
  EXPECT_EQ(StoredEntry(), L"P1,winspool,LPT1:");
}

TEST(PrinterTest, ConnectDialogReturnsTrueAndNeedsTheOwner) {
  testing::TestForm form;
  EXPECT_EQ(QorDialog().DialogConnectToPrinter(form), kTrue);  // Wine's returns at once
  testing::BrokenForm broken;
  EXPECT_THROW(QorDialog().DialogConnectToPrinter(broken), ProgramError);
}

}  // namespace
}  // namespace orvane
