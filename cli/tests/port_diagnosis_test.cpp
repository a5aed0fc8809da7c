// The port diagnosis against fake device trees: access by group, the modem manager, the udev
// rule, processes holding a port, the description line for a refused port, and the command that
// fixes each problem.

#include "host/port_diagnosis.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "corvane/platform/file_status.h"
#include "support/discovery_sandbox.h"
#include "support/fake_sysfs.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class PortDiagnosis : public testing::Test {
 protected:
  void SetUp() override {
    testing_support::FakeSysfs sys(dir.Path() / "sys");
    sys.AddAcm("ttyACM0", {"1f3a", "0001", "Phone", 0, "Zelco Mobile USB Modem"});
    sys.SetDevNumber("ttyACM0", "166:0");
    sys.AddUsbSerial("ttyUSB0", {"0403", "6001", "FT232R", 0, "USB Serial Converter", 0xff});
    fs::create_directories(dir.Path() / "dev/dev");
    node = dir / "dev/dev/ttyACM0";
    std::ofstream(node) << "";
    fs::permissions(node, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write);
    const uint32_t gid = platform::StatusOf(node).group;
    std::ofstream(dir / "group") << "users:x:" << gid + 1 << ":\ndialout:x:" << gid << ":\n";
    fs::create_directories(dir.Path() / "proc/77");
    std::ofstream(dir / "proc/77/comm") << "ModemManager\n";
    fs::create_directories(dir.Path() / "udev");
    std::ofstream(dir / "udev/c166:0") << "E:ID_VENDOR=Zelco\n";
    fs::create_directories(dir.Path() / "rules");

    system.sysRoot = dir / "sys";
    system.procRoot = dir / "proc";
    system.udevDataDir = dir / "udev";
    system.ruleDirs = {dir / "rules"};
    system.groupFile = dir / "group";
    system.devRoot = dir / "dev";
    system.uid = 4321;  // neither root nor the owner of the fake node
    system.user = "tech";
    system.shippedRule = "/opt/tarvex/60-tarvex-phones.rules";
    system.descriptionFile = dir / "config dir/tarvex/usb-descriptions.txt";
    system.descriptionTables = {system.descriptionFile};
    dialout = gid;
  }
  void UsableSetup() {
    system.groups = {dialout};
    std::ofstream(dir.Path() / "rules" / diagnosis::kRuleName) << "# rule\n";
    std::ofstream(dir / "udev/c166:0") << "E:ID_MM_DEVICE_IGNORE=1\n";
  }
  void HoldOpen(const std::string& pid, const std::string& comm, const std::string& fd) {
    fs::create_directories(dir.Path() / "proc" / pid / "fd");
    std::ofstream(dir.Path() / "proc" / pid / "comm") << comm << "\n";
    fs::create_symlink("/dev/ttyACM0", dir.Path() / "proc" / pid / "fd" / fd);
  }
  const diagnosis::PortFinding* Port(const diagnosis::Report& r, const std::string& name) {
    for (const auto& f : r.ports) {
      if (f.entry.portName == name) return &f;
    }
    ADD_FAILURE() << name << " not reported";
    return nullptr;
  }

  testing_support::TempDir dir;
  testing_support::DiscoverySandbox sandbox;
  diagnosis::System system;
  std::string node;
  uint32_t dialout = 0;
};

TEST_F(PortDiagnosis, NamesEachProblemAndTheCommandThatFixesIt) {
  const diagnosis::Report r = diagnosis::Diagnose(system);
  EXPECT_TRUE(r.modemManagerRunning);
  EXPECT_EQ(r.installedRule, "");
  ASSERT_EQ(r.problems.size(), 1u);  // the rule
  EXPECT_EQ(r.problems[0].fix.rfind(
                "sudo cp /opt/tarvex/60-tarvex-phones.rules /etc/udev/rules.d/ && ", 0),
            0u);

  const diagnosis::PortFinding* phone = Port(r, "ttyACM0");
  ASSERT_NE(phone, nullptr);
  EXPECT_TRUE(phone->taken);
  EXPECT_FALSE(phone->canOpen);
  EXPECT_EQ(phone->accessGroup, "dialout");
  EXPECT_EQ(phone->modemManagerIgnores, false);
  ASSERT_EQ(phone->problems.size(), 2u);
  EXPECT_EQ(phone->problems[0].fix, "sudo usermod -aG dialout tech   (then log in again)");
  EXPECT_NE(phone->problems[1].text.find("ModemManager may probe"), std::string::npos);
  EXPECT_FALSE(r.PhonePortsUsable());

  const diagnosis::PortFinding* other = Port(r, "ttyUSB0");
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(other->taken);
  EXPECT_NE(other->reason.find("not a phone interface"), std::string::npos);
}

TEST_F(PortDiagnosis, AMemberOfTheGroupWithTheRuleInstalledHasNothingToFix) {
  UsableSetup();
  const diagnosis::Report r = diagnosis::Diagnose(system);
  EXPECT_TRUE(r.problems.empty());
  const diagnosis::PortFinding* phone = Port(r, "ttyACM0");
  ASSERT_NE(phone, nullptr);
  EXPECT_TRUE(phone->canOpen);
  EXPECT_TRUE(phone->problems.empty());
  EXPECT_TRUE(r.PhonePortsUsable());
}

TEST_F(PortDiagnosis, AnotherProcessHoldingThePortIsNamedAndThisOneIsNot) {
  UsableSetup();
  HoldOpen("88", "minicom", "3");
  HoldOpen("88", "minicom", "7");  // twice by one process: still one holder
  HoldOpen("99", "tarvex", "0");
  system.selfPid = 99;
  fs::create_directories(dir.Path() / "proc/55");  // no fd directory: passed over
  const diagnosis::Report r = diagnosis::Diagnose(system);
  const diagnosis::PortFinding* phone = Port(r, "ttyACM0");
  ASSERT_NE(phone, nullptr);
  ASSERT_EQ(phone->holders.size(), 1u);
  EXPECT_EQ(phone->holders[0].pid, 88);
  EXPECT_EQ(phone->holders[0].name, "minicom");
  ASSERT_EQ(phone->problems.size(), 1u);
  EXPECT_NE(phone->problems[0].text.find("close minicom (pid 88)"), std::string::npos);
  EXPECT_EQ(phone->problems[0].fix, "");
  EXPECT_FALSE(r.PhonePortsUsable());
}

TEST_F(PortDiagnosis, TheSuggestedDescriptionLineMakesARefusedPortAPhonePort) {
  // The user's table ends without a newline: the line must not be glued onto its last one.
  fs::create_directories(fs::path(system.descriptionFile).parent_path());
  std::ofstream(system.descriptionFile) << "# my phones";
  const diagnosis::Report before = diagnosis::Diagnose(system);
  EXPECT_FALSE(Port(before, "ttyACM0")->tableLine.has_value());  // taken already
  const diagnosis::PortFinding* other = Port(before, "ttyUSB0");
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(other->tableLine.has_value());
  EXPECT_EQ(other->tableLine->line, "0403 6001 00 Zelco Mobile USB Modem");
  EXPECT_EQ(other->tableLine->file, system.descriptionFile);
  ASSERT_EQ(std::system(other->tableLine->command.c_str()), 0) << other->tableLine->command;

  const diagnosis::Report report = diagnosis::Diagnose(system);
  const diagnosis::PortFinding* after = Port(report, "ttyUSB0");
  ASSERT_NE(after, nullptr);
  EXPECT_TRUE(after->taken) << after->reason;
}

// Windows cannot name the program that holds a port; the port is no more usable for that.
TEST(PortDiagnosisRules, APortHeldByAnUnnamedProgramIsNotUsable) {
  diagnosis::PortFinding phone;
  phone.taken = true;
  phone.canOpen = true;
  diagnosis::Report r;
  r.ports = {phone};
  ASSERT_TRUE(r.PhonePortsUsable());
  r.ports[0].heldElsewhere = true;
  EXPECT_FALSE(r.PhonePortsUsable());
}

}  // namespace
