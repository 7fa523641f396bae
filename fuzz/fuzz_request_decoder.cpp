// Module side: the request hunter must find exactly the valid requests in
// any byte stream, however it is split, and keep bounded state. The two
// hunters live for the whole process and are cleared per input.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzDefaults.h"
#include "Protocol.h"

namespace {

// Room for 19 requests: the hunter never holds more than one request and
// the piece behind it.
constexpr size_t kMaxInput = 256;

bool Same(const dqbus::Request& a, const dqbus::Request& b) {
  return a.transaction == b.transaction && a.address == b.address && a.command == b.command &&
         a.subcode == b.subcode && a.params == b.params;
}

}  // namespace

DQ_FUZZ_DEFAULT_MAX_LEN(kMaxInput)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static dqbus::RequestStream whole, split;
  whole.Clear();
  split.Clear();

  size_t chunk = 1 + data[0] % 13;
  const uint8_t* bytes = data + 1;
  size_t n = size - 1;

  // The requests of one Feed stay valid until that stream is fed again.
  const std::vector<dqbus::Request>& all = whole.Feed(bytes, n);
  size_t found = 0;
  for (size_t pos = 0; pos < n; pos += chunk) {
    size_t len = pos + chunk <= n ? chunk : n - pos;
    for (const dqbus::Request& request : split.Feed(bytes + pos, len)) {
      if (found >= all.size() || !Same(all[found], request)) abort();
      ++found;
    }
  }
  if (found != all.size()) abort();
  for (const dqbus::Request& request : all) {
    auto encoded = dqbus::EncodeRequest(request);
    auto decoded = dqbus::DecodeRequest(encoded.data(), encoded.size());
    if (!decoded || !Same(*decoded, request)) abort();
  }
  if (whole.Pending() >= dqbus::kRequestSize) abort();
  (void)dqbus::DecodeRequest(bytes, n);
  return 0;
}
