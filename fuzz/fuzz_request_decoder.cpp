// Module side: the request hunter must find exactly the valid requests in
// any byte stream, however it is split, and keep bounded state.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Protocol.h"

namespace {
bool Same(const dqbus::Request& a, const dqbus::Request& b) {
  return a.transaction == b.transaction && a.address == b.address && a.command == b.command &&
         a.subcode == b.subcode && a.params == b.params;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t chunk = 1 + data[0] % 13;
  const uint8_t* bytes = data + 1;
  size_t n = size - 1;

  dqbus::RequestStream whole;
  auto all = whole.Feed(bytes, n);
  dqbus::RequestStream split;
  std::vector<dqbus::Request> pieces;
  for (size_t pos = 0; pos < n; pos += chunk) {
    size_t len = pos + chunk <= n ? chunk : n - pos;
    auto found = split.Feed(bytes + pos, len);
    pieces.insert(pieces.end(), found.begin(), found.end());
  }
  if (all.size() != pieces.size()) abort();
  for (size_t i = 0; i < all.size(); ++i) {
    if (!Same(all[i], pieces[i])) abort();
    auto encoded = dqbus::EncodeRequest(all[i]);
    auto decoded = dqbus::DecodeRequest(encoded.data(), encoded.size());
    if (!decoded || !Same(*decoded, all[i])) abort();
  }
  if (whole.Pending() >= dqbus::kRequestSize) abort();
  (void)dqbus::DecodeRequest(bytes, n);
  return 0;
}
