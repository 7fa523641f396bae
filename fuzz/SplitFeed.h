// The check both stream decoder targets make: a hunter fed the whole input
// at once and one fed the same input in pieces find the same items, in the
// same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace dqfuzz {

// What the whole feed found, valid until the next input.
template <class Stream, class Item>
struct WholeFeed {
  const std::vector<const Item*>& items;
  const Stream& stream;  // the hunter after it
  const uint8_t* bytes;  // the stream of the input
  size_t size;
};

// The input's first byte sets the size of the pieces, 1 to pieceSizes; the
// rest is the stream, fed into two hunters that live for the whole process
// and are cleared per input. feed(stream, bytes, n, onItem) feeds a stream
// and calls onItem(item) for every item it finds; the items of one feed
// stay valid until that stream is fed again. same(a, b) compares two items
// field by field. Aborts on a difference. The input must not be empty.
template <class Stream, class Item, class Feed, class Same>
WholeFeed<Stream, Item> SameWholeAndSplit(const uint8_t* data, size_t size, size_t pieceSizes, Feed feed,
                                          Same same) {
  static Stream whole, split;
  static std::vector<const Item*> all;
  whole.Clear();
  split.Clear();
  all.clear();

  const size_t chunk = 1 + data[0] % pieceSizes;
  const uint8_t* bytes = data + 1;
  const size_t n = size - 1;
  feed(whole, bytes, n, [](const Item& item) { all.push_back(&item); });
  size_t found = 0;
  for (size_t pos = 0; pos < n; pos += chunk) {
    const size_t length = pos + chunk <= n ? chunk : n - pos;
    feed(split, bytes + pos, length, [&found, &same](const Item& item) {
      if (found >= all.size() || !same(*all[found], item)) abort();
      ++found;
    });
  }
  if (found != all.size()) abort();
  return {all, whole, bytes, n};
}

}  // namespace dqfuzz
