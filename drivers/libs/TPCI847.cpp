// TPCI847.DLL: the module on the ISA card PCI-847, found by its I/O base
// address among the serial ports the kernel knows.
#include "Discovery.h"
#include "EntryPoints.h"
#include "core/ErrorCodes.h"

DQ_EXPORT int32_t TPCI847_Init(int32_t* handle, int32_t ioBase) {
  if (handle == nullptr) return dqerr::kInvalidParameter;
  *handle = 0;
  if (ioBase <= 0 || ioBase > 0xFFFF) return dqerr::kInvalidParameter;
  dqglue::FoundDevice found = dqglue::FindIsaDevice(static_cast<uint32_t>(ioBase));
  if (found.path.empty()) return dqerr::kNoIsaCard;
  return dqglue::OpenSerialLink(dqglue::LibraryTable(), handle, found.path, std::move(found.again));
}

DQ_DRIVER_ENTRY_POINTS(TPCI847);
