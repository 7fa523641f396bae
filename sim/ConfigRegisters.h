// The module's configuration registers (commands 102 read, 103 write):
//   0-7        pulse numbers of counters 0-3, register 2i low byte, 2i+1 high byte
//   0x20-0x2B  digital I/O: 0x20+3j DoutInitialState byte j,
//              0x21+3j DinNegation byte j, 0x22+3j DoutNegation byte j
//   0x3E       baud-rate code 0-8
//   0x3F       bus address
// Every other number is not a register.
#pragma once

#include <array>
#include <cstdint>

namespace dqsim {

constexpr uint8_t kRegPulseBase = 0x00;
constexpr uint8_t kRegDoutInitialBase = 0x20;
constexpr uint8_t kRegDinNegationBase = 0x21;
constexpr uint8_t kRegDoutNegationBase = 0x22;
constexpr uint8_t kRegBaudCode = 0x3E;
constexpr uint8_t kRegAddress = 0x3F;
constexpr uint8_t kDefaultBaudCode = 4;  // 9600 Bd

class ConfigRegisters {
 public:
  // Factory state: pulse numbers 1, no negation, outputs off at power-up.
  ConfigRegisters(uint8_t address = 0, uint8_t baudCode = kDefaultBaudCode);

  static bool Exists(uint8_t reg);
  // Checks a write as the module does: returns a dqbus::ModuleStatus
  // (msBadRegister for a number that is not a register, msBadValue for a
  // baud-rate code above 8) and stores the value only on msOk.
  uint8_t Write(uint8_t reg, uint8_t value);
  uint8_t Read(uint8_t reg) const { return regs_[reg & 0x3F]; }

  uint16_t PulseNumber(int counter) const;
  uint32_t DinNegation() const { return Mask(kRegDinNegationBase); }
  uint32_t DoutNegation() const { return Mask(kRegDoutNegationBase); }
  uint32_t DoutInitialState() const { return Mask(kRegDoutInitialBase); }
  uint8_t BaudCode() const { return regs_[kRegBaudCode]; }
  uint8_t Address() const { return regs_[kRegAddress]; }

  void SetPulseNumber(int counter, uint16_t value);
  void SetDinNegation(uint32_t mask) { SetMask(kRegDinNegationBase, mask); }
  void SetDoutNegation(uint32_t mask) { SetMask(kRegDoutNegationBase, mask); }
  void SetDoutInitialState(uint32_t mask) { SetMask(kRegDoutInitialBase, mask); }

 private:
  uint32_t Mask(uint8_t base) const;
  void SetMask(uint8_t base, uint32_t mask);

  std::array<uint8_t, 64> regs_{};
};

}  // namespace dqsim
