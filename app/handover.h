// The Windows side of the hand-over to BF and HF: the checks made before
// anything is written, the user's boot menu and batch file saved as
// C:\BOOT.ORV and C:\AUTOEXEC.ORV, the image file made, and the ticket
// C:\ORVANE.JOB that tells the DOS side what to do and where the image is.
#pragma once

#include <windows.h>

#include <string>

namespace orvane {

struct Job {
  bool backup = true;
  std::u16string image;           // the chosen image file, a full Windows path
  std::u16string program_folder;  // as ProgramFolder gives it
};

// The first reason why the DOS side could not do `job`, as the message box
// says it (what is wrong, then what to do); empty when every check passes.
// Looks, writes nothing.
std::u16string JobProblem(const Job& job);

// The root ("D:\") of the first local hard-disk partition after C that DOS
// can read (FAT, FAT32), where an image can go; empty when there is none.
std::u16string FirstImageDrive();

// The DOS form of a folder for AUTOEXEC.BAT and CONFIG.SYS: its short (8.3)
// path, or the folder itself where it has none.
std::u16string DosFolder(const std::u16string& folder);

// The ticket's text, in the ANSI code page.
std::string TicketText(const Job& job, DWORD serial, const std::u16string& short_path,
                       DWORD boot_attributes);

// The files one click makes for the DOS side. What it made is removed again
// when it goes out of scope, unless Keep was called: a job that does not
// end in a restart leaves none of them behind.
class HandOver {
 public:
  explicit HandOver(const Job& job) : job_(job) {}
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;
  ~HandOver();

  // Saves C:\boot.ini as C:\BOOT.ORV and C:\AUTOEXEC.BAT as
  // C:\AUTOEXEC.ORV (unless a job whose restart never came left them: those
  // still hold the user's files), makes the image file of a backup (empty,
  // unless it exists), then writes C:\ORVANE.JOB. On failure returns the
  // message to show.
  std::u16string Prepare();
  void Keep() { kept_ = true; }

 private:
  const Job& job_;
  bool kept_ = false;
  bool made_menu_copy_ = false;
  bool made_batch_copy_ = false;
  bool made_image_ = false;
  bool made_ticket_ = false;
};

}  // namespace orvane
