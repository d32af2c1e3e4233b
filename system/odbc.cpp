// QorSystem::SetODBC.
#include <windows.h>

#include "system/program_error.h"
#include "system/qor_system.h"

namespace orvane {
namespace {

constexpr char16_t kDataSourcesKey[] = u"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
constexpr char16_t kOdbcIniKey[] = u"SOFTWARE\\ODBC\\ODBC.INI\\";
constexpr char16_t kWindowsDriver[] = u"C:\\WINDOWS\\system32\\sqlsrv32.dll";
constexpr char16_t kWinntDriver[] = u"C:\\Winnt\\system32\\sqlsrv32.dll";

}  // namespace

Variant QorSystem::SetODBC(const std::u16string& DSNName, std::u16string& Title,
                           const std::u16string& Server, std::u16string& User, std::u16string& Pass,
                           std::u16string& Database) {
  // The name becomes a key under ODBC.INI: an empty one would put the
  // data source's values, password included, into ODBC.INI itself, and a
  // backslash (which ODBC forbids in names) into a key elsewhere.
  if (DSNName.empty() || DSNName.find(u'\\') != std::u16string::npos)
    throw ProgramError(ErrorNumber::kInvalidArgument);

  std::u16string driver_name = u"SQL Server";
  WriteReg(kHkeyLocalMachine, kDataSourcesKey, DSNName, driver_name);

  // Only a folder counts; a failed look-up counts as no folder.
  const DWORD attributes = GetFileAttributesA(code_page_.ToBytes(odbc_system_folder_).c_str());
  const bool windows_folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  std::u16string driver = windows_folder ? kWindowsDriver : kWinntDriver;

  // The written values' results are not examined: a failed write does not
  // stop the next. WriteReg turns an empty Title, User, Pass or Database
  // into " " in the caller's variable; Server is never changed.
  const std::u16string key = kOdbcIniKey + DSNName;
  std::u16string server = Server.empty() ? u"(local)" : Server;
  std::u16string trusted = u"Yes";
  WriteReg(kHkeyLocalMachine, key, u"Driver", driver);
  WriteReg(kHkeyLocalMachine, key, u"Description", Title);
  WriteReg(kHkeyLocalMachine, key, u"Server", server);
  WriteReg(kHkeyLocalMachine, key, u"LastUser", User);
  WriteReg(kHkeyLocalMachine, key, u"UID", User);
  WriteReg(kHkeyLocalMachine, key, u"PWD", Pass);
  WriteReg(kHkeyLocalMachine, key, u"Database", Database);
  WriteReg(kHkeyLocalMachine, key, u"Trusted_Connection", trusted);
  return Variant();
}

}  // namespace orvane
