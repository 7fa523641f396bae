// Driver side: the reply hunter must find exactly the valid frames in any
// byte stream, however it is split into reads, and never read past its input.
// The two hunters live for the whole process and are cleared per input.
#include <cstdint>
#include <cstdlib>

#include "FuzzDefaults.h"
#include "Protocol.h"
#include "SplitFeed.h"

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
  const auto feed = [](dqbus::ReplyStream& stream, const uint8_t* bytes, size_t n, auto onReply) {
    for (const auto& event : stream.Feed(bytes, n)) {
      if (event.kind == dqbus::ReplyStream::Event::kFrame) onReply(event.reply);
    }
  };
  // Reads of 1 to 16 bytes.
  const auto whole = dqfuzz::SameWholeAndSplit<dqbus::ReplyStream, dqbus::Reply>(data, size, 16, feed, Same);
  for (const dqbus::Reply* reply : whole.items) {
    if (reply->data.size() > dqbus::kReplyMaxData) abort();
    // Every frame found re-encodes to a valid frame that decodes the same.
    auto encoded = dqbus::EncodeReply(*reply);
    auto decoded = dqbus::DecodeReply(encoded.data(), encoded.size());
    if (!decoded || !Same(*decoded, *reply)) abort();
  }
  if (whole.stream.Missing() > dqbus::kReplyMaxSize) abort();
  (void)dqbus::DecodeReply(whole.bytes, whole.size);
  return 0;
}
