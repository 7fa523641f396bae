// The C ABI of the five interface driver libraries on a 64-bit platform.
// Integers are int32_t, results int32_t with 0 = success; words that carry
// an address (the LAN library's Init block) are pointer-sized.
#pragma once

#include <cstdint>

namespace dqabi {

constexpr int kRequestWords = 8;
constexpr int kReplyWords = 100;
constexpr int kErrorTextWords = 100;
constexpr int kInitParamWords = 16;

using VersionFn = int32_t (*)();
using InitPortFn = int32_t (*)(int32_t* handle, int32_t portOrBase);      // TCOM847, TPCI847
using InitPlainFn = int32_t (*)(int32_t* handle);                        // TPCI2847, TUSB2847
using InitBlockFn = int32_t (*)(int32_t* handle, const intptr_t* block);  // TDQ2847
using SetConfigFn = int32_t (*)(int32_t handle, int32_t baudRate, int32_t timing, int32_t retries);
using GetConfigFn = int32_t (*)(int32_t handle, int32_t* baudRate, int32_t* timing, int32_t* retries);
using SendFn = int32_t (*)(int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,
                           int32_t* status);
using DoneFn = int32_t (*)(int32_t* handle);
using ErrorFn = int32_t (*)(int32_t code, uint32_t* textBuffer);

}  // namespace dqabi
