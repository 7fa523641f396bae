// A loopback plan: which output of the module is cabled to which input on
// the test bench, so that the checkout proves an output by reading its
// input instead of asking the technician.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace dqcommission {

class LoopbackPlan {
 public:
  LoopbackPlan() { inputOf_.fill(-1); }

  // The plan file's text: one cable per line, "DOUT3 DIN5" or "DOUT3=DIN5"
  // (case-insensitive, blanks around), "#" starts a comment, blank lines
  // are ignored. Each output and each input appears at most once. On error
  // `why` names the line and the plan is left as it was.
  bool Parse(const std::string& text, std::string* why);

  bool Empty() const { return wiredInputs_ == 0; }
  // The input output k is wired to, or -1.
  int InputOf(int output) const { return inputOf_[output & 31]; }
  // The output that drives input j, or -1.
  int OutputOf(int input) const;
  uint32_t WiredInputs() const { return wiredInputs_; }

 private:
  std::array<int8_t, 32> inputOf_;
  uint32_t wiredInputs_ = 0;
};

}  // namespace dqcommission
