// Output-to-input wiring of a simulated module: a test bench's cables from
// DOUTk to DINj, so that a checkout can prove an output by reading the
// input it is wired to. A wired input follows its output's driven
// (physical) state; whatever else sets that input is overridden.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace dqsim {

class Wiring {
 public:
  Wiring() { fromOutput_.fill(-1); }

  // "DOUT3=DIN5,DOUT4=DIN6" (case-insensitive; an empty text is no wiring).
  // An input may have one source only; an output may feed several inputs.
  static bool Parse(const std::string& text, Wiring& wiring, std::string* why);

  void Connect(int output, int input) { fromOutput_[input & 31] = static_cast<int8_t>(output & 31); }
  bool Empty() const;
  // The physical inputs with every wired input replaced by its output.
  uint32_t Apply(uint32_t physicalInputs, uint32_t physicalOutputs) const;
  // "DOUT3=DIN5,DOUT4=DIN6" in input order; empty without wires.
  std::string Text() const;

 private:
  std::array<int8_t, 32> fromOutput_;  // per input: the output that drives it, or -1
};

}  // namespace dqsim
