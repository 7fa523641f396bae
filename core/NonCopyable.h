// Base of the classes that own a descriptor, a thread or a child process:
// a copy would close, join or kill twice.
#pragma once

namespace dqcore {

class NonCopyable {
 public:
  NonCopyable(const NonCopyable&) = delete;
  NonCopyable& operator=(const NonCopyable&) = delete;

 protected:
  NonCopyable() = default;
  ~NonCopyable() = default;
};

}  // namespace dqcore
