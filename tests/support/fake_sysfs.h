#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace testing_support {

namespace fs = std::filesystem;

// A fake /sys with USB ttys laid out as the kernel lays them out.
class FakeSysfs {
 public:
  explicit FakeSysfs(const fs::path& root) : root_(root) {
    fs::create_directories(root_ / "class/tty");
  }

  struct Usb {
    std::string vid, pid, product;
    int iface = 0;
    std::string ifaceString;
    int ifaceClass = 2;
    std::string chain{};   // the USB device's bus-port chain ("" one of the tree's own: 1-n)
    std::string serial{};  // its "serial" file ("" none)
  };

  void AddAcm(const std::string& tty, const Usb& usb) { Add(tty, usb, false); }
  void AddUsbSerial(const std::string& tty, const Usb& usb) { Add(tty, usb, true); }
  void AddNonUsb(const std::string& tty) {
    const fs::path dev = root_ / "devices/platform/serial8250" / tty;
    fs::create_directories(dev / "tty" / tty);
    fs::create_directory_symlink(dev / "tty" / tty, root_ / "class/tty" / tty);
    fs::create_directory_symlink(dev, dev / "tty" / tty / "device");
  }
  // The device number the kernel gives the tty ("166:0"), as /sys/class/tty/<tty>/dev holds it.
  void SetDevNumber(const std::string& tty, const std::string& number) {
    Write(root_ / "class/tty" / tty / "dev", number);
  }
  void AddVirtual(const std::string& tty) {
    fs::create_directories(root_ / "devices/virtual/tty" / tty);
    fs::create_directory_symlink(root_ / "devices/virtual/tty" / tty, root_ / "class/tty" / tty);
  }

 private:
  static void Write(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << "\n";
  }

  void Add(const std::string& tty, const Usb& usb, bool usbSerial) {
    ++n_;
    const fs::path device = root_ / "devices/pci0000:00/usb1" /
                            (usb.chain.empty() ? "1-" + std::to_string(n_) : usb.chain);
    const fs::path iface =
        device / (device.filename().string() + ":1." + std::to_string(usb.iface));
    fs::create_directories(iface);
    Write(device / "idVendor", usb.vid);
    Write(device / "idProduct", usb.pid);
    if (!usb.product.empty()) Write(device / "product", usb.product);
    if (!usb.serial.empty()) Write(device / "serial", usb.serial);
    Write(device / "busnum", "1");
    Write(device / "devnum", std::to_string(n_ + 1));  // the root hub has address 1
    Write(iface / "bInterfaceNumber", "0" + std::to_string(usb.iface));
    Write(iface / "bInterfaceClass", "0" + std::to_string(usb.ifaceClass));
    if (!usb.ifaceString.empty()) Write(iface / "interface", usb.ifaceString);
    const fs::path owner = usbSerial ? iface / tty : iface;  // usb-serial adds a port level
    const fs::path node = owner / "tty" / tty;
    fs::create_directories(node);
    fs::create_directory_symlink(owner, node / "device");
    fs::create_directory_symlink(node, root_ / "class/tty" / tty);
  }

  fs::path root_;
  int n_ = 0;
};

}  // namespace testing_support
