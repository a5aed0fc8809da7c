// The port table on Windows: the number is the COM number, in both directions.

#include <gtest/gtest.h>

#include "corvane/platform/port_table.h"

namespace {

TEST(PortTableWin32, ANumberIsItsComPortAndAComNameItsNumber) {
  EXPECT_EQ(platform::PortPath(12), "\\\\.\\COM12");  // bound or not: --port 12 opens COM12
  EXPECT_EQ(platform::BindPort("COM12"), 12);
  EXPECT_EQ(platform::BindPort("\\\\.\\COM12"), 12);
  EXPECT_EQ(platform::PortNumber("\\\\.\\com7"), 7);
  EXPECT_EQ(platform::SystemPortPath("com7"), "\\\\.\\COM7");
  EXPECT_EQ(platform::PortPath(0), "");
}

TEST(PortTableWin32, ANameThatIsNoComPortGetsNoNumber) {
  EXPECT_EQ(platform::BindPort("\\\\.\\CNCA0"), 0);
  EXPECT_EQ(platform::BindPort("C:\\phone.bin"), 0);
  EXPECT_EQ(platform::SystemPortPath("C:\\phone.bin"), "");
}

TEST(PortTableWin32, TheBindingsAreTheComPortsUsed) {
  platform::BindPort("COM200");
  bool listed = false;
  for (const platform::PortBinding& b : platform::PortBindings()) {
    EXPECT_EQ(b.path, platform::ComPortPath(b.number));
    listed = listed || b.number == 200;
  }
  EXPECT_TRUE(listed);
}

}  // namespace
