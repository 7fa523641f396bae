// TCOM847.DLL: the module on a standard COM port. COMn is the device of the
// port map entry for n, else /dev/ttyS(n-1).
#include "Discovery.h"
#include "EntryPoints.h"
#include "ErrorCodes.h"
#include "PortMap.h"

DQ_EXPORT int32_t TCOM847_Init(int32_t* handle, int32_t port) {
  if (handle == nullptr) return dqerr::kInvalidParameter;
  *handle = 0;
  if (port < dqports::kMinPort || port > dqports::kMaxPort) return dqerr::kInvalidParameter;
  auto search = dqglue::ComPortSearch(port);
  const std::string path = search();
  return dqglue::OpenSerialLink(dqglue::LibraryTable(), handle, path, std::move(search));
}

DQ_DRIVER_ENTRY_POINTS(TCOM847);
