// The open links of one driver library under their handles. Handles are
// non-zero and not reused soon after Done, so a stale handle is refused.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "Channel.h"

namespace dqglue {

constexpr size_t kMaxHandles = 16;

class HandleTable {
 public:
  // Stores the channel; returns kOk with the new handle, or kTooManyHandles.
  int32_t Add(std::shared_ptr<Channel> channel, int32_t& handle);
  // The channel of a handle, or null. The caller's reference keeps it
  // alive while a Done on another thread removes it.
  std::shared_ptr<Channel> Find(int32_t handle);
  // Removes and returns the channel of a handle (null if unknown).
  std::shared_ptr<Channel> Remove(int32_t handle);
  size_t Size();

 private:
  std::mutex mutex_;
  std::map<int32_t, std::shared_ptr<Channel>> channels_;
  int32_t last_ = 0;
};

}  // namespace dqglue
