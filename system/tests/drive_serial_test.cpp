// GetDiskSn and GetSerial on drive C with a serial number chosen by the
// test run: tools/wine-exec writes ORVANE_DRIVE_C_SERIAL into the fresh
// prefix's drive_c/.windows-serial before Wine starts, since Wine reads
// that file once, when it sets up the drive. CMake runs each case with
// the serial it expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "system/qor_system.h"

namespace orvane {
namespace {

// Serial f0000000: the top bit set makes the number negative.
TEST(DriveSerialTest, TopBitSetGivesNegativeNumber) {
  QorSystem system;
  EXPECT_EQ(system.GetDiskSn(u"C"), Variant::Long(-268435456));
  EXPECT_EQ(system.GetDiskSn(u"c"), Variant::Long(-268435456));
  // The first 24 digits of the MD5 of "-268435456", upper case.
  EXPECT_EQ(system.GetSerial(), u"95150AEE7C924F5C78124F46");
}

// Drive C taken away from this process (its link in the prefix's
// dosdevices folder renamed and its DOS device name removed; Wine resolves
// the drive through either): the serial cannot be read, GetDiskSn gives 0
// and the machine code is the digest of "0". A serial file holding 0 is
// no substitute: Wine takes 0 as "none" and reports a default serial.
TEST(DriveSerialTest, UnreadableDriveDigestsZero) {
  const char* prefix = std::getenv("WINEPREFIX");
  ASSERT_NE(prefix, nullptr);
  std::string dosdevices = std::string("Z:") + prefix + "/dosdevices/";
  std::replace(dosdevices.begin(), dosdevices.end(), '/', '\\');
  ASSERT_TRUE(MoveFileA((dosdevices + "c:").c_str(), (dosdevices + "c-gone").c_str()))
      << GetLastError();
  ASSERT_TRUE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "C:", nullptr)) << GetLastError();
  QorSystem system;
  const Variant serial = system.GetDiskSn(u"C");
  const std::u16string code = system.GetSerial();
  EXPECT_EQ(serial, Variant::Long(0));
  EXPECT_EQ(code, u"CFCD208495D565EF66E7DFF9");
}

}  // namespace
}  // namespace orvane
