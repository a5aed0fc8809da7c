// The port view over the diagnosis of a fake machine: a phone port another program holds open,
// and the description line for a USB serial port the filter refuses.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "gui/port_view.h"
#include "support/discovery_sandbox.h"
#include "support/fake_sysfs.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(PortViewTest, ShowsWhoHoldsAPortAndTheLineThatMakesAnotherAPhonePort) {
  testing_support::TempDir dir;
  testing_support::DiscoverySandbox sandbox;  // no simulated phone from elsewhere
  testing_support::FakeSysfs sys(dir.Path() / "sys");
  sys.AddAcm("ttyACM0", {"1f3a", "0001", "Phone", 0, "Zelco Mobile USB Modem"});
  sys.AddUsbSerial("ttyUSB0", {"0403", "6001", "FT232R", 0, "USB Serial Converter", 0xff});
  fs::create_directories(dir.Path() / "proc/88/fd");
  std::ofstream(dir / "proc/88/comm") << "minicom\n";
  fs::create_symlink("/dev/ttyACM0", dir.Path() / "proc/88/fd/5");
  diagnosis::System system;
  system.sysRoot = dir / "sys";
  system.procRoot = dir / "proc";
  system.ruleDirs = {};
  system.descriptionTables = {};
  system.descriptionFile = dir / "usb-descriptions.txt";

  gui::PortView view(system);
  auto* ports = view.findChild<QTreeWidget*>("ports");
  ASSERT_NE(ports, nullptr);
  ASSERT_EQ(ports->topLevelItemCount(), 2);
  int held = -1;
  for (int c = 0; c < ports->columnCount(); ++c) {
    if (ports->headerItem()->text(c) == "Held open by") held = c;
  }
  ASSERT_GE(held, 0);
  EXPECT_EQ(ports->topLevelItem(0)->text(held).toStdString(), "minicom (pid 88)");
  EXPECT_EQ(ports->topLevelItem(1)->text(held).toStdString(), "-");
  const std::string text = view.findChild<QPlainTextEdit*>("problems")->toPlainText().toStdString();
  EXPECT_NE(text.find("add this line to " + system.descriptionFile +
                      ":\n    0403 6001 00 Zelco "
                      "Mobile USB Modem"),
            std::string::npos)
      << text;
}

}  // namespace
