#include "app/form1.h"

#include <windowsx.h>

#include <vector>

#include "app/boot_text.h"
#include "app/file_replace.h"
#include "app/handover.h"
#include "app/input_box.h"
#include "app/resource.h"

namespace orvane {
namespace {

// The layout, in twips (1/1440 inch), converted at the screen's DPI.
struct ControlLayout {
  int left, top, width, height;
};
constexpr int kClientWidth = 4440;
constexpr int kClientHeight = 1665;
constexpr ControlLayout kCommand1Layout[] = {{180, 120, 1215, 495}, {180, 720, 1215, 495}};
constexpr ControlLayout kOption1Layout[] = {
    {1740, 240, 1575, 180}, {1740, 540, 1575, 180}, {1740, 840, 1575, 180}};
constexpr ControlLayout kLabel1Layout = {180, 1380, 1890, 180};
constexpr ControlLayout kImage1Layout = {3600, 300, 720, 720};
constexpr int kImage1Pixels = 48;

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

constexpr char16_t kCaption[] = u"Orvane 1.0";
constexpr char16_t kCommand1Captions[][5] = {u"系统备份", u"系统恢复"};
constexpr const char16_t* kOption1Captions[] = {u"Windows XP", u"Windows 2003", u"其他"};
constexpr char16_t kLabel1Caption[] = u"© 2026 Orvane 开发组";

constexpr char16_t kProductKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char16_t kConfigSysPath[] = u"C:\\CONFIG.SYS";
constexpr char16_t kBootIniPath[] = u"C:\\boot.ini";
constexpr char16_t kAutoexecPath[] = u"C:\\AUTOEXEC.BAT";

constexpr char16_t kOrvaneKey[] = u"SOFTWARE\\Orvane";
constexpr char16_t kImageFolderValue[] = u"路经";
constexpr char16_t kTitle[] = u"Orvane";
constexpr char16_t kConfirmBackup[] = u"您确定要备份该系统吗？";
constexpr char16_t kConfirmRestore[] = u"您确定要恢复该系统吗？";
// The dialog's filter list: a description and its pattern, each ended by
// a NUL, the list by one more.
constexpr char16_t kImageFilter[] = u"镜像文件 (*.GHO)\0*.GHO\0";
constexpr size_t kImageFilterLength = sizeof(kImageFilter) / sizeof(char16_t);

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// Runs one step of a handler under the continue-on-error rule: a step that
// fails is skipped silently and the next one runs.
template <class Step>
void ContinueOnError(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
  }
}

// The folder that holds the program file: no trailing backslash, except
// for a drive root such as "D:\".
std::u16string ProgramFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return u"";
    if (length < path.size()) {
      std::u16string folder(reinterpret_cast<const char16_t*>(path.data()), length);
      folder.erase(std::min(folder.find_last_of(u'\\'), folder.size()));
      if (folder.size() == 2 && folder[1] == u':') folder += u'\\';
      return folder;
    }
    path.resize(path.size() * 2);
  }
}

// Today's date as the user's short date format writes it, with every
// character a file name cannot hold ("2026/12/8" in some formats) made
// "-".
std::u16string DateForFileName() {
  wchar_t date[80] = {};
  if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 80)) return u"";
  std::u16string text(reinterpret_cast<const char16_t*>(date));
  for (char16_t& ch : text)
    if (std::u16string_view(u"\\/:*?\"<>|").find(ch) != std::u16string_view::npos) ch = u'-';
  return text;
}

// The folder of `path` with its trailing backslash, or empty text when the
// path has no backslash.
std::u16string FolderOf(const std::u16string& path) {
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? u"" : path.substr(0, slash + 1);
}

}  // namespace

Form1::~Form1() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool Form1::Create(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_ORVANE),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                     GetSystemMetrics(SM_CYICON), LR_SHARED));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_ORVANE),
                                                       IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    return false;

  // The outer size that gives the fixed client area, centred on the screen.
  const int dpi_x = ScreenDotsPerInch(LOGPIXELSX);
  const int dpi_y = ScreenDotsPerInch(LOGPIXELSY);
  RECT frame = {0, 0, MulDiv(kClientWidth, dpi_x, 1440), MulDiv(kClientHeight, dpi_y, 1440)};
  AdjustWindowRectEx(&frame, kWindowStyle, /*bMenu=*/FALSE, /*dwExStyle=*/0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

  return CreateWindowExW(0, kClassName, Wide(kCaption), kWindowStyle, x, y, width, height, nullptr,
                         nullptr, instance, this) != nullptr;
}

void Form1::Show(int show_command) {
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  SetFocus(command1_[0]);
}

Variant Form1::GetProperty(std::u16string_view name) {
  if (SameName(name, u"Icon")) {
    auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(hwnd_, GCLP_HICON));
    return Variant(std::make_shared<Picture>(icon));
  }
  return Form::GetProperty(name);
}

std::u16string Form1::GetMenu(const std::u16string& SysMenu, const std::u16string& SysName) const {
  return orvane::GetMenu(SysMenu, SysName);
}

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
  // No exception may unwind through the system's frames.
  try {
    return form->HandleMessage(message, wParam, lParam);
  } catch (...) {
    return message == WM_CREATE ? -1 : 0;
  }
}

LRESULT Form1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (!CreateControls()) return -1;
      Form_Load();
      return 0;
    case WM_COMMAND:
      OnCommand(GET_WM_COMMAND_ID(wParam, lParam), GET_WM_COMMAND_CMD(wParam, lParam));
      return 0;
    case WM_CLOSE: {
      bool cancel = false;
      Form_Unload(cancel);
      if (!cancel) DestroyWindow(hwnd_);
      return 0;
    }
    case WM_NCDESTROY: {
      const LRESULT result = DefWindowProcW(hwnd_, message, wParam, lParam);
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return result;
    }
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

bool Form1::CreateControls() {
  const int dpi_x = ScreenDotsPerInch(LOGPIXELSX);
  const int dpi_y = ScreenDotsPerInch(LOGPIXELSY);
  auto* instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));

  // Controls are created in tab order.
  auto create = [&](const wchar_t* window_class, const char16_t* text, DWORD style,
                    const ControlLayout& at, int id) {
    HWND control = CreateWindowExW(0, window_class, Wide(text), WS_CHILD | WS_VISIBLE | style,
                                   MulDiv(at.left, dpi_x, 1440), MulDiv(at.top, dpi_y, 1440),
                                   MulDiv(at.width, dpi_x, 1440), MulDiv(at.height, dpi_y, 1440),
                                   hwnd_, reinterpret_cast<HMENU>(INT_PTR{id}), instance, nullptr);
    if (control) SendMessageW(control, WM_SETFONT, font, FALSE);
    return control;
  };

  for (int i = 0; i < kCommand1Count; ++i) {
    command1_[i] = create(L"BUTTON", kCommand1Captions[i], WS_TABSTOP | BS_PUSHBUTTON,
                          kCommand1Layout[i], kCommand1Id + i);
    if (!command1_[i]) return false;
  }
  for (int i = 0; i < kOption1Count; ++i) {
    const DWORD group = i == 0 ? WS_GROUP | WS_TABSTOP : 0;
    option1_[i] = create(L"BUTTON", kOption1Captions[i], group | BS_AUTORADIOBUTTON,
                         kOption1Layout[i], kOption1Id + i);
    if (!option1_[i]) return false;
  }
  if (!create(L"STATIC", kLabel1Caption, WS_GROUP | SS_LEFTNOWORDWRAP | SS_NOPREFIX, kLabel1Layout,
              kLabel1Id))
    return false;
  HWND image1 = create(L"STATIC", u"", SS_ICON | SS_REALSIZEIMAGE, kImage1Layout, kImage1Id);
  if (!image1) return false;
  image1_icon_.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_ORVANE),
                                                   IMAGE_ICON, kImage1Pixels, kImage1Pixels, 0)));
  SendMessageW(image1, STM_SETICON, reinterpret_cast<WPARAM>(image1_icon_.get()), 0);

  // The stored layout selects the first option; Form_Load decides.
  SelectOption(0);
  return true;
}

void Form1::OnCommand(int id, UINT code) {
  if (code != BN_CLICKED) return;
  if (id >= kCommand1Id && id < kCommand1Id + kCommand1Count) Command1_Click(id - kCommand1Id);
  if (id >= kOption1Id && id < kOption1Id + kOption1Count) {
    const int index = id - kOption1Id;
    // Only an option that becomes selected raises the click.
    if (index != selected_option_) {
      selected_option_ = index;
      Option1_Click(index);
    }
  }
}

QorSystem& Form1::Sys() {
  if (!SysObj) SysObj.emplace();
  return *SysObj;
}

QorDialog& Form1::Dlg() {
  if (!DlgObj) DlgObj.emplace();
  return *DlgObj;
}

void Form1::SelectOption(int index) {
  for (int i = 0; i < kOption1Count; ++i)
    Button_SetCheck(option1_[i], i == index ? BST_CHECKED : BST_UNCHECKED);
  selected_option_ = index;
}

// Chooses the system kind from the installed product name and rewrites
// C:\CONFIG.SYS so that DOS loads HIMEM.SYS from the program's folder.
void Form1::Form_Load() {
  std::u16string product_name;
  ContinueOnError(
      [&] { product_name = Sys().ReadReg(kHkeyLocalMachine, kProductKey, u"ProductName"); });
  ContinueOnError([&] {
    if (product_name.find(u"XP") != std::u16string::npos) {
      CurSysName = u"XP";
      SelectOption(0);
    } else {
      CurSysName = u"2003";
      SelectOption(1);
    }
  });
  ContinueOnError([&] { SetAttributes(kConfigSysPath, 0); });
  ContinueOnError([&] {
    const std::string bytes = CodePage::Active().ToBytes(ConfigSysText(DosFolder(ProgramFolder())));
    ReplaceFileContents(kConfigSysPath, bytes);
  });
}

void Form1::Option1_Click(int index) {
  switch (index) {
    case 0:
      CurSysName = u"XP";
      break;
    case 1:
      CurSysName = u"2003";
      break;
    case 2:
      CurSysName = InputBox(hwnd_, u"输入系统名称", u"Orvane");
      break;
  }
}

// Prepares the restart into DOS that backs the system up into an image
// file (index 0) or restores it from one (index 1).
void Form1::Command1_Click(int index) {
  const bool backup = index == 0;
  std::u16string folder;
  ContinueOnError(
      [&] { folder = Sys().ReadReg(kHkeyLocalMachine, kOrvaneKey, kImageFolderValue); });
  // No folder remembered: a backup's dialog opens where an image can go,
  // not in the program's folder on drive C.
  if (folder.empty() && backup) ContinueOnError([&] { folder = FirstImageDrive(); });

  ImagePath.clear();
  ContinueOnError([&] {
    const std::u16string default_name =
        backup ? DateForFileName() + u"-" + CurSysName + u".GHO" : std::u16string();
    ImagePath = Dlg().DialogFile(*this, backup ? 0 : 1, kTitle, default_name,
                                 std::u16string(kImageFilter, kImageFilterLength), folder, u"");
  });
  // No file chosen: nothing to back up into or restore from.
  if (ImagePath.empty()) return;

  // A job the DOS side could not do is refused before the question, so
  // that no one is asked to confirm it.
  std::u16string problem;
  ContinueOnError([&] { problem = JobProblem(Job{backup, ImagePath, ProgramFolder()}); });
  bool confirmed = false;
  if (!problem.empty()) {
    ContinueOnError(
        [&] { MessageBoxW(hwnd_, Wide(problem.c_str()), Wide(kTitle), MB_OK | MB_ICONERROR); });
  } else {
    ContinueOnError([&] {
      confirmed = MessageBoxW(hwnd_, Wide(backup ? kConfirmBackup : kConfirmRestore), Wide(kTitle),
                              MB_YESNO | MB_DEFBUTTON1) == IDYES;
    });
  }
  bool restart = false;
  if (confirmed) ContinueOnError([&] { restart = HandOverToDos(backup); });

  ContinueOnError(
      [&] { SetAttributes(kBootIniPath, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN); });
  ContinueOnError([&] {
    std::u16string image_folder = FolderOf(ImagePath);
    Sys().WriteReg(kHkeyLocalMachine, kOrvaneKey, kImageFolderValue, image_folder);
  });
  // Last: under a real shutdown nothing after this is sure to run.
  if (restart) ContinueOnError([&] { Sys().Rest(); });
}

bool Form1::HandOverToDos(bool backup) {
  const Job job{backup, ImagePath, ProgramFolder()};
  std::u16string problem = JobProblem(job);
  // What this click makes goes again when the job ends without a restart.
  HandOver hand_over(job);
  if (problem.empty()) problem = hand_over.Prepare();
  if (!problem.empty()) {
    MessageBoxW(hwnd_, Wide(problem.c_str()), Wide(kTitle), MB_OK | MB_ICONERROR);
    return false;
  }
  if (!WriteBootFiles(backup)) return false;
  hand_over.Keep();
  return true;
}

bool Form1::WriteBootFiles(bool backup) {
  const CodePage ansi = CodePage::Active();
  const std::string menu = ansi.ToBytes(GetMenu(u"Dos", CurSysName));
  const std::string batch =
      ansi.ToBytes(u"@Echo Off\r\nPath=" + DosFolder(ProgramFolder()) + u"\r\nSmartdrv\r\n" +
                   (backup ? u"BF " : u"HF ") + ImagePath);

  // boot.ini as it was, to put back if AUTOEXEC.BAT cannot follow it.
  const std::optional<std::string> old_menu = ReadFileContents(kBootIniPath);
  const bool had_menu = PathExists(kBootIniPath);

  const char16_t* failed = nullptr;
  SetAttributes(kBootIniPath, 0);
  if (!ReplaceFileContents(kBootIniPath, menu)) {
    failed = kBootIniPath;
  } else {
    SetAttributes(kAutoexecPath, 0);
    if (!ReplaceFileContents(kAutoexecPath, batch)) {
      failed = kAutoexecPath;
      if (old_menu)
        ReplaceFileContents(kBootIniPath, *old_menu);
      else if (!had_menu)
        DeleteFileAt(kBootIniPath);
    }
  }
  if (!failed) return true;

  const std::u16string message =
      std::u16string(u"无法写入 ") + failed + u"。\n计算机不会重新启动。";
  MessageBoxW(hwnd_, Wide(message.c_str()), Wide(kTitle), MB_OK | MB_ICONERROR);
  return false;
}

void Form1::Form_Unload(bool& /*cancel*/) {}

}  // namespace orvane
