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

// Walks from a tty's device up through its parents; true when one of them
// carries the two id attributes with the given values.
bool DeviceOrParentHas(const std::string& ttyEntry, const char* vendorFile, const char* productFile, int base,
                       uint16_t vendor, uint16_t product) {
  auto device = RealPath(ttyEntry + "/device");
  if (!device) return false;
  std::string folder = *device;
  for (int level = 0; level < kParentLevels && folder.size() > 1; ++level, folder = Parent(folder)) {
    auto v = ReadNumber(folder + "/" + vendorFile, base);
    auto p = ReadNumber(folder + "/" + productFile, base);
    if (v && p) return *v == vendor && *p == product;
  }
  return false;
}

}  // namespace

std::string SysfsRoot() { return EnvOr("DQ7184_SYSFS_ROOT", "/sys"); }
std::string DevRoot() { return EnvOr("DQ7184_DEV_ROOT", "/dev"); }

namespace {

std::string FindIsaPortIn(const std::string& sys, const std::string& dev, uint32_t ioBase) {
  std::string classTty = sys + "/class/tty";
  for (const std::string& name : Entries(classTty)) {
    if (!StartsWith(name, "ttyS")) continue;
    auto port = ReadNumber(classTty + "/" + name + "/port", 0);
    if (!port || *port != ioBase) continue;
    auto type = ReadNumber(classTty + "/" + name + "/type", 10);
    if (type && *type == 0) continue;  // no UART answered at that address
    return dev + "/" + name;
  }
  return std::string();
}

std::string FindPciPortIn(const std::string& sys, const std::string& dev, uint16_t vendor, uint16_t device) {
  std::string classTty = sys + "/class/tty";
  for (const std::string& name : Entries(classTty)) {
    if (DeviceOrParentHas(classTty + "/" + name, "vendor", "device", 0, vendor, device)) return dev + "/" + name;
  }
  return std::string();
}

std::string FindUsbPortIn(const std::string& sys, const std::string& dev, uint16_t vendor, uint16_t product,
                          const std::string& tag) {
  std::string byId = dev + "/serial/by-id";
  for (const std::string& name : Entries(byId)) {
    if (name.find(tag) != std::string::npos) return byId + "/" + name;
  }
  std::string classTty = sys + "/class/tty";
  for (const std::string& name : Entries(classTty)) {
    if (!StartsWith(name, "ttyUSB") && !StartsWith(name, "ttyACM")) continue;
    // USB ids are hexadecimal without a prefix.
    if (DeviceOrParentHas(classTty + "/" + name, "idVendor", "idProduct", 16, vendor, product)) {
      return dev + "/" + name;
    }
  }
  return std::string();
}

std::optional<std::string> Found(const std::string& path) {
  return path.empty() ? std::nullopt : std::optional<std::string>(path);
}

}  // namespace

DeviceSearch ComPortSearch(int port) {
  return [map = dqports::MapFilePath(), dev = DevRoot(), port] {
    if (!map.empty()) {
      if (auto mapped = dqports::LookupIn(map, port)) return *mapped;
    }
    return dev + "/ttyS" + std::to_string(port - 1);
  };
}

DeviceSearch IsaPortSearch(uint32_t ioBase) {
  return [sys = SysfsRoot(), dev = DevRoot(), ioBase] { return FindIsaPortIn(sys, dev, ioBase); };
}

DeviceSearch PciPortSearch(uint16_t vendor, uint16_t device) {
  return [sys = SysfsRoot(), dev = DevRoot(), vendor, device] { return FindPciPortIn(sys, dev, vendor, device); };
}

DeviceSearch UsbPortSearch(uint16_t vendor, uint16_t product, const std::string& tag) {
  return [sys = SysfsRoot(), dev = DevRoot(), vendor, product, tag] {
    return FindUsbPortIn(sys, dev, vendor, product, tag);
  };
}

std::string ComPortPath(int port) { return ComPortSearch(port)(); }

std::optional<std::string> FindIsaPort(uint32_t ioBase) { return Found(IsaPortSearch(ioBase)()); }

std::optional<std::string> FindPciPort(uint16_t vendor, uint16_t device) {
  return Found(PciPortSearch(vendor, device)());
}

std::optional<std::string> FindUsbPort(uint16_t vendor, uint16_t product, const std::string& tag) {
  return Found(UsbPortSearch(vendor, product, tag)());
}

}  // namespace dqglue
