// TDQ2847.DLL: the module behind the LAN converter DQ-2847, over UDP.
// Init block: word 0 the address of the IP text, word 1 the UDP port,
// word 2 the UDP timeout in ms; the text is copied during Init.
#include <cstring>
#include <memory>

#include "EntryPoints.h"
#include "core/ErrorCodes.h"
#include "UdpLink.h"

namespace {

// Longest IP text looked at; a longer one cannot be a dotted address.
constexpr size_t kMaxIpText = 64;

}  // namespace

DQ_EXPORT int32_t TDQ2847_Init(int32_t* handle, const intptr_t* block) {
  if (handle == nullptr) return dqerr::kInvalidParameter;
  *handle = 0;
  if (block == nullptr) return dqerr::kInvalidParameter;
  const char* ipText = reinterpret_cast<const char*>(block[0]);
  if (ipText == nullptr) return dqerr::kInvalidIp;
  size_t length = strnlen(ipText, kMaxIpText + 1);
  if (length > kMaxIpText) return dqerr::kInvalidIp;
  std::string ip(ipText, length);
  intptr_t port = block[1];
  intptr_t timeout = block[2];
  if (port < 1 || port > 65535 || timeout < 0 || timeout > 65535) {
    in_addr parsed{};
    return dqbus::ParseConverterAddress(ip, parsed) ? dqerr::kInvalidParameter : dqerr::kInvalidIp;
  }
  return dqglue::OpenLink(dqglue::LibraryTable(), handle, [&](std::shared_ptr<dqglue::Channel>& channel) {
    std::unique_ptr<dqbus::UdpLink> link;
    const int32_t code =
        dqbus::UdpLink::Open(ip, static_cast<int32_t>(port), static_cast<int32_t>(timeout), link);
    if (code == dqerr::kOk) channel = std::make_shared<dqglue::Channel>(std::unique_ptr<dqbus::Transport>(std::move(link)));
    return code;
  });
}

DQ_DRIVER_ENTRY_POINTS(TDQ2847);
