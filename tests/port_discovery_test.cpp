// Finding phone ports: the name filter, the final pass, sysfs trees and published ports.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "corvane/platform/port_table.h"
#include "corvane/platform/private_files.h"
#include "corvane/platform/process.h"
#include "corvane/platform/serial_device.h"
#include "corvane/ports/find_phone_ports.h"
#include "corvane/ports/port_enumeration.h"
#include "corvane/ports/published_ports.h"
#include "corvane/ports/usb_descriptions.h"
#include "sim/generic_boot_loader.h"
#include "sim/phone.h"
#include "support/fake_sysfs.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ports::AcceptedByNameFilter;
using testing_support::TempDir;

TEST(NameFilter, EachAcceptedNameMustBeginTheDescription) {
  const std::vector<std::string> accepted = {"Zelco CDMA USB Modem",
                                             "Zelco Mobile USB Modem #2",
                                             "Zelco Mobile USB Serial Port",
                                             "Zelco CDMA USB Serial Port (COM7)",
                                             "FOMA L-04C",
                                             "Qualcomm HS-USB Diagnostics 9025",
                                             "FOMA SA800i OBEX Port",
                                             "FOMA SAOBEX"};
  for (const auto& d : accepted) EXPECT_TRUE(AcceptedByNameFilter(d)) << d;
  const std::vector<std::string> refused = {"",
                                            "My Zelco Mobile USB Serial Port",  // a word in front
                                            "zelco mobile usb modem",           // case matters
                                            "Zelco Mobile USB",                 // too short
                                            "FOMA SA800i Modem",                // SA without OBEX
                                            "FOMA sa OBEX",
                                            "Qualcomm HS-USB QDLoader 9008",
                                            "foma L"};
  for (const auto& d : refused) EXPECT_FALSE(AcceptedByNameFilter(d)) << d;
}

TEST(FinalPass, DropsRefusedEntriesInPlaceAndCutsInstanceSuffixes) {
  std::vector<SerialPortEntry> list(5);
  list[0].description = "Modem";  // refused
  list[1].description = "Zelco Mobile USB Serial Port #3";
  list[2].description = "";       // refused: no description
  list[3].description = "Other";  // refused, right after one
  list[4].description = "Zelco CDMA USB Modem";
  list[4].shortName = "kept";
  ports::FinalPass(list, false);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].shortName, "Zelco Mobile USB Serial Port");
  EXPECT_EQ(list[1].shortName, "kept");                   // a short name already set stays
  EXPECT_EQ(ports::ShortName(" #1 Zelco"), " #1 Zelco");  // the suffix must come after something
  EXPECT_EQ(ports::ShortName("A #1 #2"), "A");
}

TEST(UsbDescriptionTable, ParsesCommentsWildcardsAndLetsLaterLinesWin) {
  ports::UsbDescriptionTable table;
  table.Parse(
      "# a comment\n"
      "1d6b 0104 * Zelco CDMA USB Modem   # trailing comment\n"
      "1d6b 0104 02 Zelco CDMA USB Serial Port\r\n"
      "zzzz 0104 00 bad vendor\n"
      "1d6b 0104 00\n"
      "12345 0001 00 too wide\n"
      "\n");
  EXPECT_EQ(table.Size(), 2u);
  EXPECT_EQ(table.Rejected(), 3u);
  EXPECT_EQ(table.Find(0x1d6b, 0x0104, 0), "Zelco CDMA USB Modem");
  EXPECT_EQ(table.Find(0x1d6b, 0x0104, 2), "Zelco CDMA USB Serial Port");
  EXPECT_FALSE(table.Find(0x1d6b, 0x0105, 0).has_value());
}

using testing_support::FakeSysfs;

class Discovery : public ::testing::Test {
 protected:
  Discovery() : sys(dir.Path() / "sys") {
    ports::SetPublishDirectory(dir / "published");
    ports::SetSystemRoot((dir.Path() / "sys").string());
    table.Parse("2c7c 0125 02 Zelco Mobile USB Serial Port\n");
  }
  ~Discovery() override {
    ports::SetPublishDirectory("");
    ports::SetSystemRoot("");
  }

  std::vector<SerialPortEntry> Enumerate(bool modemClass = false) {
    return ports::EnumerateSerialPorts(modemClass, (dir.Path() / "sys").string(), table);
  }

  TempDir dir;
  FakeSysfs sys;
  ports::UsbDescriptionTable table;
};

TEST_F(Discovery, UsbTtysGetTheirDescriptionFromTableInterfaceOrProduct) {
  sys.AddAcm("ttyACM0", {"1d6b", "0104", "Phone", 0, "Zelco CDMA USB Modem", 2, "1-1.4.2", "ZX9"});
  sys.AddUsbSerial("ttyUSB0", {"2c7c", "0125", "Other", 2, "Ignored interface string", 0xff});
  sys.AddAcm("ttyACM1", {"04c5", "1234", "FOMA L-04C", 1, ""});
  sys.AddNonUsb("ttyS0");
  sys.AddVirtual("tty1");
  const auto found = Enumerate();
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].portName, "ttyACM0");
  EXPECT_EQ(found[0].devicePath, "/dev/ttyACM0");
  EXPECT_EQ(found[0].description, "Zelco CDMA USB Modem");  // the interface string
  EXPECT_EQ(found[0].isUsb, 1);
  EXPECT_EQ(found[0].usbVendor, 0x1d6b);
  EXPECT_EQ(found[0].usbPath, "1-1.4.2");  // the USB device's directory: where it is plugged in
  EXPECT_EQ(found[0].usbSerial, "ZX9");
  EXPECT_EQ(found[0].usbAddress, "1.2");  // bus and address of this enumeration
  EXPECT_EQ(found[2].usbPath, "1-2");     // a usb-serial adapter: one level further down
  EXPECT_EQ(found[2].usbSerial, "");      // no serial number reported
  EXPECT_EQ(found[1].portName, "ttyACM1");
  EXPECT_EQ(found[1].description, "FOMA L-04C");  // the product string
  EXPECT_EQ(found[1].usbInterface, 1);
  EXPECT_EQ(found[2].portName, "ttyUSB0");
  EXPECT_EQ(found[2].description, "Zelco Mobile USB Serial Port");  // the table wins
  EXPECT_EQ(found[2].usbInterface, 2);
  for (const auto& e : found) {
    EXPECT_NE(e.portNumber, 0);
    EXPECT_EQ(platform::PortPath(e.portNumber), e.devicePath);
  }
}

TEST_F(Discovery, ModemClassKeepsOnlyCommunicationsInterfaces) {
  sys.AddAcm("ttyACM0", {"1d6b", "0104", "Phone", 0, "Zelco CDMA USB Modem"});
  sys.AddUsbSerial("ttyUSB0", {"2c7c", "0125", "Other", 2, "", 0xff});
  const auto found = Enumerate(true);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].portName, "ttyACM0");
}

TEST_F(Discovery, MissingOrBrokenSysfsGivesNothingRatherThanFailing) {
  EXPECT_TRUE(ports::EnumerateSerialPorts(false, (dir / "no-such-root"), table).empty());
  fs::create_directories(dir.Path() / "sys/class/tty/ttyACM9");
  fs::create_directory_symlink(dir.Path() / "missing", dir.Path() / "sys/class/tty/ttyACM9/device");
  EXPECT_TRUE(Enumerate().empty());
  // Discovery over a system it cannot ask raises nothing and finds nothing.
  ports::SetSystemRoot((dir / "no-such-root"));
  std::vector<SerialPortEntry> none(1);
  EXPECT_NO_THROW(FindPhonePorts(none, 0, 0, 1));
  EXPECT_TRUE(none.empty());
}

TEST_F(Discovery, SimulatedPhonesArePublishedWhileTheyAreOnTheirPort) {
  std::string path;
  {
    phonesim::Phone phone(std::make_unique<phonesim::GenericBootLoader>(),
                          {"Zelco Mobile USB Modem", 0x1d6b, 0x0104, 0, "3-2.1", "SN7"});
    path = phone.Path();
    const auto found = Enumerate();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].devicePath, path);
    EXPECT_EQ(found[0].description, "Zelco Mobile USB Modem");
    EXPECT_EQ(found[0].portNumber, phone.PortNumber());
    EXPECT_EQ(found[0].portName.rfind("pts", 0), 0u);
    EXPECT_EQ(found[0].usbPath, "3-2.1");
    EXPECT_EQ(found[0].usbSerial, "SN7");
    phone.Vanish();
    EXPECT_TRUE(Enumerate().empty());  // gone with its device
  }
  // A phone without an identity is private to whoever holds its path.
  phonesim::Phone quiet(std::make_unique<phonesim::GenericBootLoader>());
  EXPECT_TRUE(Enumerate().empty());
  // Discovery over a system it cannot ask raises nothing and finds nothing.
  ports::SetSystemRoot((dir / "no-such-root"));
  std::vector<SerialPortEntry> none(1);
  EXPECT_NO_THROW(FindPhonePorts(none, 0, 0, 1));
  EXPECT_TRUE(none.empty());
}

// An announcement whose process is gone is stale, and so is one whose process id now belongs
// to a later process (its start time differs) or that does not say when its process started.
TEST_F(Discovery, StaleAnnouncementsAreDropped) {
  phonesim::Phone phone(std::make_unique<phonesim::GenericBootLoader>());
  ASSERT_EQ(platform::MakePrivateDirectory(dir / "published"), "");
  const int64_t me = platform::ProcessId();
  const auto announce = [&](const std::string& name, const std::string& owner) {
    std::ofstream(dir / ("published/" + name))
        << "path=" << phone.Path() << "\ndescription=Zelco CDMA USB Modem\n"
        << owner;
  };
  announce("dead.port", "owner=999999999\nstarted=1\n");
  announce("reused.port", "owner=" + std::to_string(me) + "\nstarted=" +
                              std::to_string(*platform::ProcessStartTime(me) + 1) + "\n");
  announce("undated.port", "owner=" + std::to_string(me) + "\n");
  std::ofstream(dir / "published/garbage.port") << "owner=abc\n";
  EXPECT_TRUE(Enumerate().empty());
  EXPECT_TRUE(fs::is_empty(dir.Path() / "published"));
}

TEST_F(Discovery, OnlyThisUsersAnnouncementsOfPseudoTerminalsAreTaken) {
  const std::string regularFile = dir / "not-a-terminal";
  std::ofstream(regularFile) << "x";
  ASSERT_TRUE(ports::PublishPort({regularFile, "Zelco Mobile USB Modem"}));
  EXPECT_TRUE(Enumerate().empty());

  phonesim::Phone phone(std::make_unique<phonesim::GenericBootLoader>());
  ASSERT_TRUE(ports::PublishPort({phone.Path(), "Zelco Mobile USB Modem"}));
  ASSERT_EQ(Enumerate().size(), 1u);
  if (platform::UserId() != 0) GTEST_SKIP() << "only root can give a file to another user";
  const fs::path file = dir.Path() / "published" / ("_dev_pts_" + phone.Path().substr(9) + ".port");
  ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
  EXPECT_TRUE(Enumerate().empty());
  EXPECT_TRUE(fs::exists(file));  // passed over, not ours to remove
}

TEST_F(Discovery, FindPhonePortsAppendsClearsAndProbesBusyPorts) {
  phonesim::Phone a(std::make_unique<phonesim::GenericBootLoader>(), {"Zelco CDMA USB Modem"});
  phonesim::Phone b(std::make_unique<phonesim::GenericBootLoader>(), {"Zelco Mobile USB Modem"});
  phonesim::Phone other(std::make_unique<phonesim::GenericBootLoader>(), {"Some Modem"});
  std::vector<SerialPortEntry> list(1);
  list[0].description = "Zelco CDMA USB Modem";
  list[0].portName = "earlier";
  FindPhonePorts(list, 0, 0, 0);
  EXPECT_EQ(list.size(), 3u);  // the earlier entry stays, two phones are added, one refused
  EXPECT_EQ(list[0].portName, "earlier");

  auto holder = platform::SerialDevice::Create();
  ASSERT_TRUE(holder->Open(a.Path()));  // another program has this phone's port open
  FindPhonePorts(list, 1, 0, 1);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].devicePath, b.Path());
}

}  // namespace
