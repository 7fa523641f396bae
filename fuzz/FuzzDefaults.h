// Per-target defaults for libFuzzer flags, set from LLVMFuzzerInitialize
// (libFuzzer reads its flags after that call). A flag given on the command
// line wins.
#pragma once

#include <cstring>
#include <string>
#include <vector>

namespace dqfuzz {

// Adds -max_len=maxLen unless the command line sets -max_len. The longest
// input libFuzzer makes decides a target's speed: past a few dozen frames
// a longer stream only repeats what shorter ones reach.
inline void DefaultMaxLen(int* argc, char*** argv, size_t maxLen) {
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp((*argv)[i], "-max_len=", 9) == 0) return;
  }
  static std::string flag;
  static std::vector<char*> args;
  flag = "-max_len=" + std::to_string(maxLen);
  args.assign(*argv, *argv + *argc);
  args.push_back(flag.data());
  args.push_back(nullptr);
  *argc = static_cast<int>(args.size()) - 1;
  *argv = args.data();
}

}  // namespace dqfuzz

// Defines the target's LLVMFuzzerInitialize with a default -max_len.
#define DQ_FUZZ_DEFAULT_MAX_LEN(maxLen)                              \
  extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {    \
    dqfuzz::DefaultMaxLen(argc, argv, maxLen);                       \
    return 0;                                                        \
  }
