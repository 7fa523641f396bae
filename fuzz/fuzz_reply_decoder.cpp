// Driver side: the reply hunter must find exactly the valid frames in any
// byte stream, however it is split into reads, and never read past its input.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Protocol.h"

namespace {

std::vector<dqbus::Reply> Frames(const std::vector<dqbus::ReplyStream::Event>& events) {
  std::vector<dqbus::Reply> frames;
  for (const auto& event : events) {
    if (event.kind == dqbus::ReplyStream::Event::kFrame) frames.push_back(event.reply);
  }
  return frames;
}

bool Same(const dqbus::Reply& a, const dqbus::Reply& b) {
  return a.transaction == b.transaction && a.address == b.address && a.command == b.command &&
         a.status == b.status && a.data == b.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // First byte chooses the chunk size of the split feed.
  size_t chunk = 1 + data[0] % 16;
  const uint8_t* bytes = data + 1;
  size_t n = size - 1;

  dqbus::ReplyStream whole;
  auto all = Frames(whole.Feed(bytes, n));

  dqbus::ReplyStream split;
  std::vector<dqbus::Reply> pieces;
  for (size_t pos = 0; pos < n; pos += chunk) {
    size_t len = pos + chunk <= n ? chunk : n - pos;
    auto frames = Frames(split.Feed(bytes + pos, len));
    pieces.insert(pieces.end(), frames.begin(), frames.end());
  }
  if (all.size() != pieces.size()) abort();
  for (size_t i = 0; i < all.size(); ++i) {
    if (!Same(all[i], pieces[i])) abort();
    if (all[i].data.size() > dqbus::kReplyMaxData) abort();
    // Every frame found re-encodes to a valid frame that decodes the same.
    auto encoded = dqbus::EncodeReply(all[i]);
    auto decoded = dqbus::DecodeReply(encoded.data(), encoded.size());
    if (!decoded || !Same(*decoded, all[i])) abort();
  }
  if (whole.Missing() > dqbus::kReplyMaxSize) abort();
  (void)dqbus::DecodeReply(bytes, n);
  return 0;
}
