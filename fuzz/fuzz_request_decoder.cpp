// Module side: the request hunter must find exactly the valid requests in
// any byte stream, however it is split, and keep bounded state. The two
// hunters live for the whole process and are cleared per input.
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "FuzzDefaults.h"
#include "Protocol.h"
#include "SplitFeed.h"

// Room for 19 requests: the hunter never holds more than one request and
// the piece behind it.
DQ_FUZZ_DEFAULT_MAX_LEN(256)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto feed = [](dqbus::RequestStream& stream, const uint8_t* bytes, size_t n, auto onRequest) {
    for (const dqbus::Request& request : stream.Feed(bytes, n)) onRequest(request);
  };
  // Pieces of 1 to 13 bytes.
  const auto whole =
      dqfuzz::SameWholeAndSplit<dqbus::RequestStream, dqbus::Request>(data, size, 13, feed, std::equal_to<>());
  for (const dqbus::Request* request : whole.items) {
    auto encoded = dqbus::EncodeRequest(*request);
    auto decoded = dqbus::DecodeRequest(encoded.data(), encoded.size());
    if (!decoded || !(*decoded == *request)) abort();
  }
  if (whole.stream.Pending() >= dqbus::kRequestSize) abort();
  (void)dqbus::DecodeRequest(whole.bytes, whole.size);
  return 0;
}
