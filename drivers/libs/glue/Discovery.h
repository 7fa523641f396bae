// Finding the serial device of each interface. The roots of sysfs and of
// /dev can be moved with DQ7184_SYSFS_ROOT and DQ7184_DEV_ROOT (tests build
// fake trees there).
#pragma once

#include <cstdint>
#include <functional>
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

// A link's way to its device: the search made at Init, made again when
// the device vanished and the link looks for it to reopen it (a converter
// plugged in again comes back as another ttyUSBn, the simulator's
// pseudo-terminal under a new path that the port map follows). The roots
// and the port map file are fixed when the search is made; their content
// is read at every call. Gives the device path, empty when none is found.
using DeviceSearch = std::function<std::string()>;

// COMn: the port map entry, else <dev>/ttyS(n-1). n is 1-65535.
DeviceSearch ComPortSearch(int port);
// The ttyS whose sysfs "port" equals the I/O base (and whose "type" is
// not 0, i.e. a UART was found there).
DeviceSearch IsaPortSearch(uint32_t ioBase);
// The first tty (in name order) whose device, or a parent of it, is a PCI
// function with the given ids.
DeviceSearch PciPortSearch(uint16_t vendor, uint16_t device);
// A <dev>/serial/by-id link whose name holds the tag, else the first
// ttyUSB / ttyACM whose USB parent has the given ids.
DeviceSearch UsbPortSearch(uint16_t vendor, uint16_t product, const std::string& tag);

// The searches made once, now.
std::string ComPortPath(int port);
std::optional<std::string> FindIsaPort(uint32_t ioBase);
std::optional<std::string> FindPciPort(uint16_t vendor, uint16_t device);
std::optional<std::string> FindUsbPort(uint16_t vendor, uint16_t product, const std::string& tag);

}  // namespace dqglue
