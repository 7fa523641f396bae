// Finding the serial device of each interface. The roots of sysfs and of
// /dev can be moved with DQ7184_SYSFS_ROOT and DQ7184_DEV_ROOT (tests build
// fake trees there).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dqglue {

// Identity of the PCI-2847 card's PCI function and of the USB-2847
// converter; docs/protocol.md lists them.
constexpr uint16_t kPciVendorId = 0x4451;
constexpr uint16_t kPciDeviceId = 0x2847;
constexpr uint16_t kUsbVendorId = 0x4451;
constexpr uint16_t kUsbProductId = 0x2847;
constexpr const char* kUsbSerialTag = "USB-2847";

std::string SysfsRoot();
std::string DevRoot();

// COMn: the port map entry, else <dev>/ttyS(n-1). n is 1-65535.
std::string ComPortPath(int port);
// The ttyS whose sysfs "port" equals the I/O base (and whose "type" is
// not 0, i.e. a UART was found there).
std::optional<std::string> FindIsaPort(uint32_t ioBase);
// The first tty (in name order) whose device, or a parent of it, is a PCI
// function with the given ids.
std::optional<std::string> FindPciPort(uint16_t vendor, uint16_t device);
// A <dev>/serial/by-id link whose name holds the tag, else the first
// ttyUSB / ttyACM whose USB parent has the given ids.
std::optional<std::string> FindUsbPort(uint16_t vendor, uint16_t product, const std::string& tag);

}  // namespace dqglue
