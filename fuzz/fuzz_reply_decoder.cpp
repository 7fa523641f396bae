// Driver side: the reply hunter must find exactly the valid frames in any
// byte stream, however it is split into reads, and never read past its input.
// The two hunters live for the whole process and are cleared per input.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzDefaults.h"
#include "Protocol.h"

namespace {

// Room for three frames of the largest size: the hunter never holds more
// than one frame and the read behind it.
constexpr size_t kMaxInput = 256;

bool Same(const dqbus::Reply& a, const dqbus::Reply& b) {
  return a.transaction == b.transaction && a.address == b.address && a.command == b.command &&
         a.status == b.status && a.data == b.data;
}

}  // namespace

DQ_FUZZ_DEFAULT_MAX_LEN(kMaxInput)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static dqbus::ReplyStream whole, split;
  static std::vector<const dqbus::Reply*> all;
  whole.Clear();
  split.Clear();
  all.clear();

  // First byte chooses the chunk size of the split feed.
  size_t chunk = 1 + data[0] % 16;
  const uint8_t* bytes = data + 1;
  size_t n = size - 1;

  // The events of one Feed stay valid until that stream is fed again.
  for (const auto& event : whole.Feed(bytes, n)) {
    if (event.kind == dqbus::ReplyStream::Event::kFrame) all.push_back(&event.reply);
  }

  size_t found = 0;
  for (size_t pos = 0; pos < n; pos += chunk) {
    size_t len = pos + chunk <= n ? chunk : n - pos;
    for (const auto& event : split.Feed(bytes + pos, len)) {
      if (event.kind != dqbus::ReplyStream::Event::kFrame) continue;
      if (found >= all.size() || !Same(*all[found], event.reply)) abort();
      ++found;
    }
  }
  if (found != all.size()) abort();
  for (const dqbus::Reply* reply : all) {
    if (reply->data.size() > dqbus::kReplyMaxData) abort();
    // Every frame found re-encodes to a valid frame that decodes the same.
    auto encoded = dqbus::EncodeReply(*reply);
    auto decoded = dqbus::DecodeReply(encoded.data(), encoded.size());
    if (!decoded || !Same(*decoded, *reply)) abort();
  }
  if (whole.Missing() > dqbus::kReplyMaxSize) abort();
  (void)dqbus::DecodeReply(bytes, n);
  return 0;
}
