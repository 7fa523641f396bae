#include "HandleTable.h"

#include <climits>

#include "core/ErrorCodes.h"

namespace dqglue {

int32_t HandleTable::Add(std::shared_ptr<Channel> channel, int32_t& handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (channels_.size() >= kMaxHandles) return dqerr::kTooManyHandles;
  do {
    last_ = last_ == INT32_MAX ? 1 : last_ + 1;
  } while (channels_.count(last_) != 0);
  channels_.emplace(last_, std::move(channel));
  handle = last_;
  return dqerr::kOk;
}

std::shared_ptr<Channel> HandleTable::Find(int32_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = channels_.find(handle);
  return found == channels_.end() ? nullptr : found->second;
}

std::shared_ptr<Channel> HandleTable::Remove(int32_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = channels_.find(handle);
  if (found == channels_.end()) return nullptr;
  auto channel = std::move(found->second);
  channels_.erase(found);
  return channel;
}

size_t HandleTable::Size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return channels_.size();
}

}  // namespace dqglue
