#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvane/platform/export.h"

// What Windows's device ids say about a USB serial port, read from their text alone, so that the
// same rules run (and are tested) on every system:
//   hardware id  USB\VID_1F3A&PID_0001&REV_0100&MI_02
//   instance id  USB\VID_1F3A&PID_0001\R58M1234ABC      (the device; its last part the serial)
//                USB\VID_1F3A&PID_0001&MI_02\6&2A4B1C3D&0&0002  (an interface: Windows's own)
//   location     PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(4)#USB(2)#USBMI(2)
namespace ports::windows {

struct UsbIds {
  uint16_t vendor = 0;
  uint16_t product = 0;
  int interface = -1;  // the MI_nn of a composite device's interface; -1 for a whole device
};

// The vendor, product and interface of a hardware or instance id; nullopt when it names no
// vendor and product (or names them with other than four hexadecimal digits).
CORVANE_API std::optional<UsbIds> ParseUsbIds(const std::string& id);

// The serial number a USB device reports, from its instance id: "" for an interface's id or
// when the device reports none (Windows then makes the last part up, always with a '&' in it).
CORVANE_API std::string SerialFromInstanceId(const std::string& instanceId);

// Which socket a device is plugged into, from its location paths: the first that goes through a
// USB root hub, without the interface's own step, so that a phone's port shows the same socket
// whichever of its interfaces it is and whether or not its mode makes it a composite device.
// "" when no path goes through USB.
CORVANE_API std::string UsbPathFromLocationPaths(const std::vector<std::string>& paths);

// A registry multi-string (texts each ended by a NUL, the list by an empty one) as its texts.
CORVANE_API std::vector<std::string> SplitMultiString(const std::string& list);

}  // namespace ports::windows
