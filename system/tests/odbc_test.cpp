// SetODBC against HKEY_LOCAL_MACHINE of the test's own Wine prefix; the
// values are read back with the wide registry calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "system/qor_system.h"
#include "tests/support/common_test_support.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::ReadRegistryString;
using testing::SetRegistryString;

constexpr wchar_t kDataSources[] = L"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
constexpr wchar_t kOdbcIni[] = L"SOFTWARE\\ODBC\\ODBC.INI";

std::optional<std::wstring> DsnValue(const std::wstring& dsn, const wchar_t* name) {
  return ReadRegistryString(HKEY_LOCAL_MACHINE, std::wstring(kOdbcIni) + L"\\" + dsn, name);
}

struct Arguments {
  std::u16string title, server, user, pass, database;
};

Variant SetOdbc(QorSystem& system, const std::u16string& dsn, Arguments& a) {
  return system.SetODBC(dsn, a.title, a.server, a.user, a.pass, a.database);
}

TEST(SetOdbcTest, WritesTheDataSourceAndFillsEmptyValues) {
  QorSystem system;
  Arguments a{u"订单", u"", u"", u"", u"Orders"};
  EXPECT_TRUE(SetOdbc(system, u"Orvane 订单", a).IsEmpty());

  const std::wstring dsn = L"Orvane \u8BA2\u5355";
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kDataSources, dsn), L"SQL Server");
  EXPECT_EQ(DsnValue(dsn, L"Driver"), L"C:\\WINDOWS\\system32\\sqlsrv32.dll");
  EXPECT_EQ(DsnValue(dsn, L"Description"), L"\u8BA2\u5355");
  EXPECT_EQ(DsnValue(dsn, L"Server"), L"(local)");
  EXPECT_EQ(DsnValue(dsn, L"LastUser"), L" ");
  EXPECT_EQ(DsnValue(dsn, L"UID"), L" ");
  EXPECT_EQ(DsnValue(dsn, L"PWD"), L" ");
  EXPECT_EQ(DsnValue(dsn, L"Database"), L"Orders");
  EXPECT_EQ(DsnValue(dsn, L"Trusted_Connection"), L"Yes");
  EXPECT_EQ(a.server, u"") << "the caller's Server is never changed";
  EXPECT_EQ(a.user, u" ");
  EXPECT_EQ(a.pass, u" ");
  EXPECT_EQ(a.title, u"订单");
  EXPECT_EQ(a.database, u"Orders");

  // Again with everything given and another database: the same data
  // source, overwritten; values of its own that SetODBC does not write stay.
  SetRegistryString(HKEY_LOCAL_MACHINE, std::wstring(kOdbcIni) + L"\\" + dsn, L"Extra", L"kept");
  Arguments b{u"", u"DBHOST", u"sa", u"secret", u"Archive"};
  SetOdbc(system, u"Orvane 订单", b);
  EXPECT_EQ(DsnValue(dsn, L"Database"), L"Archive");
  EXPECT_EQ(DsnValue(dsn, L"Server"), L"DBHOST");
  EXPECT_EQ(DsnValue(dsn, L"LastUser"), L"sa");
  EXPECT_EQ(DsnValue(dsn, L"UID"), L"sa");
  EXPECT_EQ(DsnValue(dsn, L"PWD"), L"secret");
  EXPECT_EQ(DsnValue(dsn, L"Trusted_Connection"), L"Yes") << "even with a user and password";
  EXPECT_EQ(DsnValue(dsn, L"Description"), L" ");
  EXPECT_EQ(b.title, u" ");
  EXPECT_EQ(DsnValue(dsn, L"Extra"), L"kept");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kDataSources, dsn), L"SQL Server");
}

TEST(SetOdbcTest, DriverPathAndRefusedNames) {
  QorSystem system;
  Arguments a{u"t", u"s", u"u", u"p", u"d"};

  // No C:\WINDOWS\system32 folder: the Windows 2000 place.
  system.set_odbc_system_folder_for_testing(u"C:\\NoSuchFolder\\system32");
  SetOdbc(system, u"Missing", a);
  EXPECT_EQ(DsnValue(L"Missing", L"Driver"), L"C:\\Winnt\\system32\\sqlsrv32.dll");
  // A file of that name is no folder either.
  system.set_odbc_system_folder_for_testing(u"C:\\windows\\system32\\kernel32.dll");
  SetOdbc(system, u"File", a);
  EXPECT_EQ(DsnValue(L"File", L"Driver"), L"C:\\Winnt\\system32\\sqlsrv32.dll");

  // A name that is no key name of its own writes nothing.
  for (const std::u16string& name : {std::u16string(), std::u16string(u"a\\b")})
    EXPECT_EQ(testing::ErrorOf([&] { SetOdbc(system, name, a); }), 5);
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kOdbcIni, L"Driver"), std::nullopt);
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kDataSources, L""), std::nullopt);
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kDataSources, L"a\\b"), std::nullopt);
  EXPECT_EQ(DsnValue(L"a\\b", L"Driver"), std::nullopt);
}

}  // namespace
}  // namespace orvane
