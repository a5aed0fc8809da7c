// Port discovery through SetupAPI. Wine lists no ports, so there this shows only that asking the
// system works and gives no false entry; on Windows with phones attached it checks every entry.

#include <gtest/gtest.h>

#include "corvane/platform/port_table.h"
#include "corvane/ports/port_enumeration.h"

namespace {

TEST(PortEnumerationWin32, EveryListedPortIsNumberedAsWindowsNamesItWithItsUsbIdsIfAny) {
  for (const bool modemClass : {false, true}) {
    for (const SerialPortEntry& e :
         ports::EnumerateSerialPorts(modemClass, "", ports::UsbDescriptionTable())) {
      EXPECT_EQ(e.devicePath, "\\\\.\\" + e.portName);
      EXPECT_EQ(e.portNumber, platform::ComPortNumber(e.portName)) << e.portName;
      EXPECT_EQ(e.usbVendor != 0, e.isUsb == 1) << e.portName;
    }
  }
}

}  // namespace
