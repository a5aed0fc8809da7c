// Reading Windows's device ids and location paths: the text rules the Windows port discovery
// uses, on ids as Windows writes them.

#include "ports/windows_device_ids.h"

#include <gtest/gtest.h>

namespace {

using ports::windows::ParseUsbIds;
using ports::windows::SerialFromInstanceId;
using ports::windows::SplitMultiString;
using ports::windows::UsbPathFromLocationPaths;

TEST(WindowsDeviceIds, AnInterfaceOfACompositeDeviceHasItsNumber) {
  const auto ids = ParseUsbIds("USB\\VID_1F3A&PID_00A1&REV_0100&MI_02");
  ASSERT_TRUE(ids.has_value());
  EXPECT_EQ(ids->vendor, 0x1f3a);
  EXPECT_EQ(ids->product, 0x00a1);
  EXPECT_EQ(ids->interface, 2);
}

TEST(WindowsDeviceIds, HexDigitsOfEitherCaseAndAWholeDeviceWithoutInterface) {
  const auto ids = ParseUsbIds("usb\\vid_05c6&pid_9008\\5&1b7a3d5&0&3");
  ASSERT_TRUE(ids.has_value());
  EXPECT_EQ(ids->vendor, 0x05c6);
  EXPECT_EQ(ids->product, 0x9008);
  EXPECT_EQ(ids->interface, -1);
  // A USB-serial driver's own enumerator joins the fields with '+'.
  const auto ftdi = ParseUsbIds("FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000");
  ASSERT_TRUE(ftdi.has_value());
  EXPECT_EQ(ftdi->product, 0x6001);
}

TEST(WindowsDeviceIds, IdsWithoutAVendorAndProductAreNotUsb) {
  EXPECT_FALSE(ParseUsbIds("ACPI\\PNP0501\\1").has_value());
  EXPECT_FALSE(ParseUsbIds("USB\\VID_1F3A").has_value());
  EXPECT_FALSE(ParseUsbIds("USB\\VID_1F3G&PID_0001").has_value());   // not hexadecimal
  EXPECT_FALSE(ParseUsbIds("USB\\VID_1F3A0&PID_0001").has_value());  // five digits
  EXPECT_FALSE(ParseUsbIds("").has_value());
}

TEST(WindowsDeviceIds, TheSerialIsTheLastPartOfTheDevicesInstanceId) {
  EXPECT_EQ(SerialFromInstanceId("USB\\VID_1F3A&PID_00A1\\R58M1234ABC"), "R58M1234ABC");
  // No serial reported: Windows names the instance itself, with '&'s.
  EXPECT_EQ(SerialFromInstanceId("USB\\VID_1F3A&PID_00A1\\5&1B7A3D5&0&3"), "");
  // An interface's instance is always Windows's own, even without a '&'.
  EXPECT_EQ(SerialFromInstanceId("USB\\VID_1F3A&PID_00A1&MI_02\\R58M1234ABC"), "");
  EXPECT_EQ(SerialFromInstanceId("FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"), "");
}

TEST(WindowsDeviceIds, TheSocketIsTheUsbLocationPathWithoutTheInterfaceStep) {
  const std::string socket = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(4)#USB(2)";
  EXPECT_EQ(UsbPathFromLocationPaths(
                {"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS04)", socket + "#USBMI(2)"}),
            socket);
  EXPECT_EQ(UsbPathFromLocationPaths({socket}), socket);
  EXPECT_EQ(UsbPathFromLocationPaths({"PCIROOT(0)#PCI(1F00)#ACPI(PNP0501)"}), "");
}

TEST(WindowsDeviceIds, AMultiStringEndsAtItsEmptyText) {
  using Texts = std::vector<std::string>;
  EXPECT_EQ(SplitMultiString(std::string("a\0bc\0\0stale\0", 13)), (Texts{"a", "bc"}));
  EXPECT_EQ(SplitMultiString("unterminated"), Texts{"unterminated"});
  EXPECT_EQ(SplitMultiString(""), Texts{});
}

}  // namespace
