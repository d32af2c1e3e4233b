// Calls QorSystem::Rest twice, shielded from the restart it requests, and
// exits with 0 when both calls returned normally. Started by
// restart_test.cpp with Wine's relay log on.
#include <windows.h>

#include "system/qor_system.h"
#include "tests/support/win_test_support.h"

int main() {
  orvane::testing::ProtectFromRestart();
  orvane::QorSystem system;
  system.Rest();
  system.Rest();
  return 0;
}
