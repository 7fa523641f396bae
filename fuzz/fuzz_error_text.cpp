// Error text buffers as any library might fill them: reading never runs past
// word 99, and a text written back reads the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Txxx847.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TErrorTextBuffer buffer{};
  std::memcpy(buffer.Words, data, size < sizeof(buffer.Words) ? size : sizeof(buffer.Words));
  std::string text = ErrorTextFromBuffer(buffer);
  if (text.size() > 100) abort();

  TErrorTextBuffer again{};
  ErrorTextToBuffer(text, again);
  if (again.Words[0] != 0) abort();
  std::string back = ErrorTextFromBuffer(again);
  std::string expected = text.substr(0, 99);
  expected = expected.substr(0, expected.find('\0'));
  if (back != expected) abort();
  return 0;
}
