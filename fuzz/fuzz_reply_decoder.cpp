// Driver side: the reply hunter must find exactly the valid frames in any
// byte stream, however it is split into reads, and never read past its input.
// The two hunters live for the whole process and are cleared per input.
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "FuzzDefaults.h"
#include "Protocol.h"
#include "SplitFeed.h"

// Room for three frames of the largest size: the hunter never holds more
// than one frame and the read behind it.
DQ_FUZZ_DEFAULT_MAX_LEN(256)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto feed = [](dqbus::ReplyStream& stream, const uint8_t* bytes, size_t n, auto onReply) {
    for (const auto& event : stream.Feed(bytes, n)) {
      if (event.kind == dqbus::ReplyStream::Event::kFrame) onReply(event.reply);
    }
  };
  // Reads of 1 to 16 bytes.
  const auto whole =
      dqfuzz::SameWholeAndSplit<dqbus::ReplyStream, dqbus::Reply>(data, size, 16, feed, std::equal_to<>());
  for (const dqbus::Reply* reply : whole.items) {
    if (reply->data.size() > dqbus::kReplyMaxData) abort();
    // Every frame found re-encodes to a valid frame that decodes the same.
    auto encoded = dqbus::EncodeReply(*reply);
    auto decoded = dqbus::DecodeReply(encoded.data(), encoded.size());
    if (!decoded || !(*decoded == *reply)) abort();
  }
  if (whole.stream.Missing() > dqbus::kReplyMaxSize) abort();
  (void)dqbus::DecodeReply(whole.bytes, whole.size);
  return 0;
}
