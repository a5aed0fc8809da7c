// The port diagnosis on Windows: nothing of udev or a modem manager, the COM ports present, the
// driver a phone without a port needs, and a table line the user's shell can append.

#include <gtest/gtest.h>

#include "host/port_diagnosis.h"
#include "host/port_diagnosis_system.h"

namespace {

TEST(PortDiagnosisWin32, SaysNothingOfUdevAndNamesTheDriverWhenNoPhoneHasAPort) {
  const diagnosis::Report r = diagnosis::Diagnose(diagnosis::System::Current());
  EXPECT_FALSE(r.udevSystem);
  EXPECT_FALSE(r.modemManagerRunning);
  bool phone = false;
  for (const diagnosis::PortFinding& f : r.ports) phone = phone || f.taken;
  bool driver = false;
  for (const diagnosis::Problem& p : r.problems) {
    EXPECT_EQ(p.text.find("udev"), std::string::npos) << p.text;
    EXPECT_EQ(p.fix.find("udev"), std::string::npos) << p.fix;
    driver = driver || p.fix.find("USB modem driver") != std::string::npos;
  }
  EXPECT_EQ(driver, !phone);
}

TEST(PortDiagnosisWin32, TheTableLineCommandQuotesForPowerShell) {
  const std::string command = diagnosis::AppendLineCommand(
      "C:\\Users\\o'neil\\tarvex\\usb-descriptions.txt", "1f3a 00a1 02 Zelco Mobile USB Modem");
  EXPECT_NE(command.find("-Path 'C:\\Users\\o''neil\\tarvex' "), std::string::npos) << command;
  EXPECT_NE(command.find("-Value @('', '1f3a 00a1 02 Zelco Mobile USB Modem')"), std::string::npos)
      << command;
}

}  // namespace
