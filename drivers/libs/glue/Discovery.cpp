#include "Discovery.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "PortMap.h"

namespace dqglue {

namespace {

constexpr int kParentLevels = 4;

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : std::string(fallback);
}

// "ttyS10" after "ttyS9": equal prefixes compare by their trailing number.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& name) {
    size_t digits = name.find_last_not_of("0123456789") + 1;
    unsigned long number = digits < name.size() ? std::strtoul(name.c_str() + digits, nullptr, 10) : 0;
    return std::make_pair(name.substr(0, digits), number);
  };
  return split(a) < split(b);
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// The number in a sysfs attribute ("0x3f8", "0x4451", "4451" for USB ids).
std::optional<unsigned long> ReadNumber(const std::string& file, int base) {
  std::ifstream in(file);
  std::string text;
  if (!in || !(in >> text)) return std::nullopt;
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str(), &end, base);
  if (end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

std::optional<std::string> RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
  return std::string(resolved);
}

std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A sysfs attribute's text (its first line), empty when there is none.
std::string ReadText(const std::string& file) {
  std::ifstream in(file);
  std::string text;
  if (in) std::getline(in, text);
  return text;
}

// Walks from a tty's device up through its parents to the first one that
// carries the two id attributes; its real path when they hold the given
// values, else empty.
std::string IdsFolder(const std::string& ttyEntry, const char* vendorFile, const char* productFile, int base,
                      uint16_t vendor, uint16_t product) {
  auto device = RealPath(ttyEntry + "/device");
  if (!device) return std::string();
  std::string folder = *device;
  for (int level = 0; level < kParentLevels && folder.size() > 1; ++level, folder = Parent(folder)) {
    auto v = ReadNumber(folder + "/" + vendorFile, base);
    auto p = ReadNumber(folder + "/" + productFile, base);
    if (v && p) return *v == vendor && *p == product ? folder : std::string();
  }
  return std::string();
}

}  // namespace

std::string SysfsRoot() { return EnvOr("DQ7184_SYSFS_ROOT", "/sys"); }
std::string DevRoot() { return EnvOr("DQ7184_DEV_ROOT", "/dev"); }

namespace {

bool IsUartAt(const std::string& classTty, const std::string& name, uint32_t ioBase) {
  auto port = ReadNumber(classTty + "/" + name + "/port", 0);
  if (!port || *port != ioBase) return false;
  auto type = ReadNumber(classTty + "/" + name + "/type", 10);
  return !type || *type != 0;  // type 0: no UART answered at that address
}

// The first tty of the PCI function at `function` (any, when empty) with the ids.
std::string FindPciTty(const std::string& classTty, uint16_t vendor, uint16_t device, const std::string& function,
                       std::string* foundFunction) {
  for (const std::string& name : Entries(classTty)) {
    const std::string folder = IdsFolder(classTty + "/" + name, "vendor", "device", 0, vendor, device);
    if (folder.empty() || (!function.empty() && folder != function)) continue;
    if (foundFunction != nullptr) *foundFunction = folder;
    return name;
  }
  return std::string();
}

// What tells one USB converter from another: its serial number, or, where
// it has none, its sysfs device.
struct UsbIdentity {
  std::string serial;
  std::string device;
};

// The first ttyUSB / ttyACM of a USB device with the ids; with `wanted`,
// only of the same converter. USB ids are hexadecimal without a prefix.
std::string FindUsbTty(const std::string& classTty, uint16_t vendor, uint16_t product, const UsbIdentity* wanted,
                       UsbIdentity* found) {
  for (const std::string& name : Entries(classTty)) {
    if (!StartsWith(name, "ttyUSB") && !StartsWith(name, "ttyACM")) continue;
    const std::string folder = IdsFolder(classTty + "/" + name, "idVendor", "idProduct", 16, vendor, product);
    if (folder.empty()) continue;
    const UsbIdentity identity{ReadText(folder + "/serial"), folder};
    if (wanted != nullptr && (wanted->serial.empty() ? identity.device != wanted->device
                                                     : identity.serial != wanted->serial)) {
      continue;
    }
    if (found != nullptr) *found = identity;
    return name;
  }
  return std::string();
}

std::optional<std::string> Found(const std::string& path) {
  return path.empty() ? std::nullopt : std::optional<std::string>(path);
}

}  // namespace

FoundDevice FindComDevice(int port) {
  const std::string map = dqports::MapFilePath();
  if (!map.empty()) {
    if (auto mapped = dqports::LookupIn(map, port)) {
      return {*mapped, [map, port] { return dqports::LookupIn(map, port).value_or(std::string()); }};
    }
  }
  const std::string path = DevRoot() + "/ttyS" + std::to_string(port - 1);
  return {path, [path] { return path; }};
}

FoundDevice FindIsaDevice(uint32_t ioBase) {
  const std::string classTty = SysfsRoot() + "/class/tty";
  for (const std::string& name : Entries(classTty)) {
    if (!StartsWith(name, "ttyS") || !IsUartAt(classTty, name, ioBase)) continue;
    const std::string path = DevRoot() + "/" + name;
    return {path, [classTty, name, ioBase, path] { return IsUartAt(classTty, name, ioBase) ? path : std::string(); }};
  }
  return {};
}

FoundDevice FindPciDevice(uint16_t vendor, uint16_t device) {
  const std::string classTty = SysfsRoot() + "/class/tty";
  const std::string dev = DevRoot();
  std::string function;
  const std::string name = FindPciTty(classTty, vendor, device, std::string(), &function);
  if (name.empty()) return {};
  return {dev + "/" + name, [classTty, dev, vendor, device, function] {
            const std::string again = FindPciTty(classTty, vendor, device, function, nullptr);
            return again.empty() ? again : dev + "/" + again;
          }};
}

FoundDevice FindUsbDevice(uint16_t vendor, uint16_t product, const std::string& tag) {
  const std::string dev = DevRoot();
  const std::string byId = dev + "/serial/by-id";
  for (const std::string& name : Entries(byId)) {
    if (name.find(tag) == std::string::npos) continue;
    const std::string path = byId + "/" + name;
    return {path, [path] { return path; }};
  }
  const std::string classTty = SysfsRoot() + "/class/tty";
  UsbIdentity identity;
  const std::string name = FindUsbTty(classTty, vendor, product, nullptr, &identity);
  if (name.empty()) return {};
  return {dev + "/" + name, [classTty, dev, vendor, product, identity] {
            const std::string again = FindUsbTty(classTty, vendor, product, &identity, nullptr);
            return again.empty() ? again : dev + "/" + again;
          }};
}

std::string ComPortPath(int port) { return FindComDevice(port).path; }

std::optional<std::string> FindIsaPort(uint32_t ioBase) { return Found(FindIsaDevice(ioBase).path); }

std::optional<std::string> FindPciPort(uint16_t vendor, uint16_t device) {
  return Found(FindPciDevice(vendor, device).path);
}

std::optional<std::string> FindUsbPort(uint16_t vendor, uint16_t product, const std::string& tag) {
  return Found(FindUsbDevice(vendor, product, tag).path);
}

}  // namespace dqglue
