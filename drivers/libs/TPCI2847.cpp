// TPCI2847.DLL: the module on the PCI card PCI-2847, found by the PCI ids
// of the card behind a serial port.
#include "Discovery.h"
#include "EntryPoints.h"
#include "core/ErrorCodes.h"

DQ_EXPORT int32_t TPCI2847_Init(int32_t* handle) {
  if (handle == nullptr) return dqerr::kInvalidParameter;
  *handle = 0;
  dqglue::FoundDevice found = dqglue::FindPciDevice(dqglue::kPci2847.vendor, dqglue::kPci2847.product);
  if (found.path.empty()) return dqerr::kNoPciCard;
  return dqglue::OpenSerialLink(dqglue::LibraryTable(), handle, found.path, std::move(found.again));
}

DQ_DRIVER_ENTRY_POINTS(TPCI2847);
