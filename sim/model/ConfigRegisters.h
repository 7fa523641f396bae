// The module's configuration registers (read and written by the register
// commands; numbers in core/ModuleCommands.h). Every other number is not a
// register.
#pragma once

#include <array>
#include <cstdint>

#include "core/BaudRates.h"
#include "core/ModuleCommands.h"

namespace dqsim {

using dqcmd::kRegAddress;
using dqcmd::kRegBaudCode;
using dqcmd::kRegDinNegationBase;
using dqcmd::kRegDoutInitialBase;
using dqcmd::kRegDoutNegationBase;

class ConfigRegisters {
 public:
  // Factory state: pulse numbers 1, no negation, outputs off at power-up.
  ConfigRegisters(uint8_t address = 0, uint8_t baudCode = dqcore::kDefaultBaudCode);

  static bool Exists(uint8_t reg);
  // Checks a write as the module does: returns a dqbus::ModuleStatus
  // (msBadRegister for a number that is not a register, msBadValue for a
  // baud-rate code above 8) and stores the value only on msOk.
  uint8_t Write(uint8_t reg, uint8_t value);
  uint8_t Read(uint8_t reg) const { return regs_[reg & 0x3F]; }

  uint16_t PulseNumber(int counter) const;
  uint32_t DinNegation() const { return Mask(dqcmd::kRegDinNegationBase); }
  uint32_t DoutNegation() const { return Mask(dqcmd::kRegDoutNegationBase); }
  uint32_t DoutInitialState() const { return Mask(dqcmd::kRegDoutInitialBase); }
  uint8_t BaudCode() const { return regs_[dqcmd::kRegBaudCode]; }
  uint8_t Address() const { return regs_[dqcmd::kRegAddress]; }

  void SetPulseNumber(int counter, uint16_t value);
  void SetDinNegation(uint32_t mask) { SetMask(dqcmd::kRegDinNegationBase, mask); }
  void SetDoutNegation(uint32_t mask) { SetMask(dqcmd::kRegDoutNegationBase, mask); }
  void SetDoutInitialState(uint32_t mask) { SetMask(dqcmd::kRegDoutInitialBase, mask); }

 private:
  uint32_t Mask(uint8_t base) const;
  void SetMask(uint8_t base, uint32_t mask);

  std::array<uint8_t, 64> regs_{};
};

}  // namespace dqsim
