// The exchanges of the checkout, each one ModuleExchange on an open link:
// the I/O registers, the inputs, the outputs and the counters. Every call
// returns the status (0 = done); a failed call changes nothing it returns.
#pragma once

#include <cstdint>
#include <string>

#include "Txxx847.h"

namespace dqcommission {

// The module's digital I/O settings (registers 0x20-0x2B).
struct IoSettings {
  uint32_t doutInitial = 0;   // written image the outputs take at power-up
  uint32_t dinNegation = 0;
  uint32_t doutNegation = 0;
};

// The image to write so that exactly the outputs in `driven` are driven:
// the module drives the written image XOR its output negation.
constexpr uint32_t WrittenImageFor(uint32_t driven, uint32_t doutNegation) { return driven ^ doutNegation; }

class CheckoutIo {
 public:
  CheckoutIo(TConnectionConfig& link, uint8_t address) : link_(link), address_(address) {}

  uint8_t ReadIoSettings(IoSettings& settings);
  uint8_t ReadPulseNumber(int counter, uint16_t& pulses);  // counters 0-3
  uint8_t ReadInputs(uint32_t& reported);
  uint8_t WriteOutputs(uint32_t written);
  uint8_t CountersRunning(bool& running);
  uint8_t StartCounters();
  uint8_t ReadCounter(int counter, uint32_t& value);

  // The driver's text for a status, UTF-8.
  std::string ErrorText(uint8_t status) const;

 private:
  uint8_t Exchange(uint8_t command, uint8_t subcode, uint8_t (&b)[5]);
  uint8_t ReadRegister(uint8_t reg, uint8_t& value);

  TConnectionConfig& link_;
  uint8_t address_;
  TExchangeReply reply_{};
};

}  // namespace dqcommission
