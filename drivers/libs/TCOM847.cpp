// TCOM847.DLL: the module on a standard COM port. COMn is the device of the
// port map entry for n, else /dev/ttyS(n-1); a reopen keeps to the one
// found at Init.
#include "Discovery.h"
#include "EntryPoints.h"
#include "core/ErrorCodes.h"
#include "PortMap.h"

DQ_EXPORT int32_t TCOM847_Init(int32_t* handle, int32_t port) {
  if (handle == nullptr) return dqerr::kInvalidParameter;
  *handle = 0;
  if (port < dqports::kMinPort || port > dqports::kMaxPort) return dqerr::kInvalidParameter;
  dqglue::FoundDevice found = dqglue::FindComDevice(port);
  return dqglue::OpenSerialLink(dqglue::LibraryTable(), handle, found.path, std::move(found.again));
}

DQ_DRIVER_ENTRY_POINTS(TCOM847);
