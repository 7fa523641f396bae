// TUSB2847.DLL: the module behind the USB converter USB-2847, found by its
// /dev/serial/by-id name or its USB ids.
#include "Discovery.h"
#include "EntryPoints.h"
#include "core/ErrorCodes.h"

DQ_EXPORT int32_t TUSB2847_Init(int32_t* handle) {
  if (handle == nullptr) return dqerr::kInvalidParameter;
  *handle = 0;
  dqglue::FoundDevice found =
      dqglue::FindUsbDevice(dqglue::kUsb2847.vendor, dqglue::kUsb2847.product, dqglue::kUsbSerialTag);
  if (found.path.empty()) return dqerr::kNoUsbConverter;
  return dqglue::OpenSerialLink(dqglue::LibraryTable(), handle, found.path, std::move(found.again));
}

DQ_DRIVER_ENTRY_POINTS(TUSB2847);
