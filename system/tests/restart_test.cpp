// QorSystem::Rest, observed in Wine's relay log: the calls a probe process
// makes to enable the shutdown privilege and to ask for the restart. Runs
// in a prefix of its own, which the restart empties of other processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/win_test_support.h"

namespace orvane::testing {
namespace {

TEST(RestTest, EnablesTheShutdownPrivilegeAndAsksForAForcedRebootEachTime) {
  ASSERT_NO_FATAL_FAILURE(ProtectFromRestart());
  TraceCalls(
      L"advapi32.OpenProcessToken;advapi32.LookupPrivilegeValueA;"
      L"advapi32.AdjustTokenPrivileges;user32.ExitWindowsEx");
  ChildProcess probe(ExecutableFolder() + L"orvane_rest_probe.exe", {L"WINEDEBUG=+pid,+relay"});
  ASSERT_TRUE(probe.started());
  EXPECT_EQ(probe.WaitForExit(), 0u) << "Rest did not return normally, twice";

  const auto restarts = WineLogLines(probe.pid(), "Call user32.ExitWindowsEx(");
  ASSERT_EQ(restarts.size(), 2u) << WineLog();
  for (const std::string& line : restarts)
    EXPECT_NE(line.find("ExitWindowsEx(00000007,ffffffff)"), std::string::npos) << line;
  // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY on the process's own token.
  const auto opens = WineLogLines(probe.pid(), "Call advapi32.OpenProcessToken(");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_NE(opens[0].find(",00000028,"), std::string::npos) << opens[0];
  const auto lookups = WineLogLines(probe.pid(), "Call advapi32.LookupPrivilegeValueA(");
  ASSERT_EQ(lookups.size(), 2u);
  EXPECT_NE(lookups[0].find("\"SeShutdownPrivilege\""), std::string::npos) << lookups[0];
  // Not disabling all, one 16-byte record.
  const auto adjusts = WineLogLines(probe.pid(), "Call advapi32.AdjustTokenPrivileges(");
  ASSERT_EQ(adjusts.size(), 2u);
  EXPECT_NE(adjusts[0].find(",00000000,"), std::string::npos) << adjusts[0];
  EXPECT_NE(adjusts[0].find(",00000010,"), std::string::npos) << adjusts[0];
}

}  // namespace
}  // namespace orvane::testing
