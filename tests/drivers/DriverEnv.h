// Environment of a test: sets variables for its scope, and fake sysfs and
// /dev trees for the card and converter searches.
#pragma once

#include <stdlib.h>

#include <string>

#include "TestUtil.h"

namespace dqtest {

class EnvVar : dqcore::NonCopyable {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) {
      old_ = old;
      had_ = true;
    }
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvVar() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

// Fake roots: <tmp>/sys and <tmp>/dev, installed in DQ7184_SYSFS_ROOT and
// DQ7184_DEV_ROOT, with an empty port map.
class FakeMachine {
 public:
  FakeMachine()
      : sysfs_("DQ7184_SYSFS_ROOT", (dir_.Path() + "/sys").c_str()),
        dev_("DQ7184_DEV_ROOT", (dir_.Path() + "/dev").c_str()),
        map_("DQ7184_PORTMAP", (dir_.Path() + "/ports.conf").c_str()) {
    dir_.MakeDir("sys/class/tty");
    dir_.MakeDir("dev");
  }
  const TempDir& Dir() const { return dir_; }
  std::string Sys(const std::string& rest) const { return dir_.File("sys/" + rest); }
  std::string Dev(const std::string& rest) const { return dir_.File("dev/" + rest); }

  void IsaPort(const std::string& tty, const std::string& port, const std::string& type) const {
    dir_.Write("sys/class/tty/" + tty + "/port", port + "\n");
    dir_.Write("sys/class/tty/" + tty + "/type", type + "\n");
  }
  void PciPort(const std::string& tty, const std::string& slot, const std::string& vendor,
               const std::string& device) const {
    std::string function = "sys/devices/pci0000:00/" + slot;
    dir_.Write(function + "/vendor", vendor + "\n");
    dir_.Write(function + "/device", device + "\n");
    dir_.MakeDir("sys/class/tty/" + tty);
    dir_.Symlink(dir_.File(function), "sys/class/tty/" + tty + "/device");
  }
  // usbDevice: the converter's folder under usb1 ("1-" + tty when empty);
  // serial: its serial number, none when empty.
  void UsbPort(const std::string& tty, const std::string& vendor, const std::string& product,
               const std::string& usbDevice = "", const std::string& serial = "") const {
    std::string device = "sys/devices/usb1/" + (usbDevice.empty() ? "1-" + tty : usbDevice);
    dir_.Write(device + "/idVendor", vendor + "\n");
    dir_.Write(device + "/idProduct", product + "\n");
    if (!serial.empty()) dir_.Write(device + "/serial", serial + "\n");
    dir_.MakeDir(device + "/1-1:1.0/" + tty);
    dir_.MakeDir("sys/class/tty/" + tty);
    dir_.Symlink(dir_.File(device + "/1-1:1.0/" + tty), "sys/class/tty/" + tty + "/device");
  }
  // Makes <dev>/name lead to a real terminal.
  void DeviceNode(const std::string& name, const std::string& target) const { dir_.Symlink(target, "dev/" + name); }

 private:
  TempDir dir_;
  EnvVar sysfs_;
  EnvVar dev_;
  EnvVar map_;
};

}  // namespace dqtest
