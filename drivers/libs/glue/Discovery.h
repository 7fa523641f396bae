// Finding the serial device of each interface. The roots of sysfs and of
// /dev can be moved with DQ7184_SYSFS_ROOT and DQ7184_DEV_ROOT (tests build
// fake trees there).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "SerialLine.h"

namespace dqglue {

// Identity of the PCI-2847 card's PCI function and of the USB-2847
// converter, with the tag its serial number carries; docs/protocol.md
// lists them.
struct DeviceId {
  uint16_t vendor;
  uint16_t product;  // the PCI device id, the USB product id
};
constexpr DeviceId kPci2847{0x4451, 0x2847};
constexpr DeviceId kUsb2847{0x4451, 0x2847};
constexpr const char* kUsbSerialTag = "USB-2847";

std::string SysfsRoot();
std::string DevRoot();

// A device found at Init, and the way its link finds that same device
// again after it vanished. The second search never widens the first: it
// names only the device found at Init, or nothing, so that a reopened link
// cannot land on another port, card or converter. The roots and the port
// map file are fixed at Init; their content is read at every call.
struct FoundDevice {
  std::string path;  // empty: none found
  dqbus::SerialLine::Locator again;  // the path of the device as it is now, empty for none
};

// COMn: the port map entry for n, looked up there again (a missing entry
// is a missing port); without an entry at Init <dev>/ttyS(n-1), and only
// that. n is 1-65535.
FoundDevice FindComDevice(int port);
// The ttyS whose sysfs "port" equals the I/O base (and whose "type" is
// not 0, i.e. a UART was found there); again the same ttyS while it still
// sits at that base.
FoundDevice FindIsaDevice(uint32_t ioBase);
// The first tty (in name order) whose device, or a parent of it, is a PCI
// function with the given ids; again the first tty of the same sysfs
// device.
FoundDevice FindPciDevice(uint16_t vendor, uint16_t device);
// A <dev>/serial/by-id link whose name holds the tag, else the first
// ttyUSB / ttyACM whose USB parent has the given ids. Again: the same
// by-id name; else the tty of a USB device with the same ids and serial
// number, or, where it has none, of the same sysfs device.
FoundDevice FindUsbDevice(uint16_t vendor, uint16_t product, const std::string& tag);

// The paths the searches find now.
std::string ComPortPath(int port);
std::optional<std::string> FindIsaPort(uint32_t ioBase);
std::optional<std::string> FindPciPort(uint16_t vendor, uint16_t device);
std::optional<std::string> FindUsbPort(uint16_t vendor, uint16_t product, const std::string& tag);

}  // namespace dqglue
