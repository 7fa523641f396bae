#include "ConfigRegisters.h"

#include "Protocol.h"

namespace dqsim {

ConfigRegisters::ConfigRegisters(uint8_t address, uint8_t baudCode) {
  for (int i = 0; i < 4; ++i) SetPulseNumber(i, 1);
  regs_[kRegBaudCode] = baudCode < dqbus::kBaudCodeCount ? baudCode : kDefaultBaudCode;
  regs_[kRegAddress] = address;
}

bool ConfigRegisters::Exists(uint8_t reg) {
  return reg <= 7 || (reg >= 0x20 && reg <= 0x2B) || reg == kRegBaudCode || reg == kRegAddress;
}

uint8_t ConfigRegisters::Write(uint8_t reg, uint8_t value) {
  if (!Exists(reg)) return dqbus::msBadRegister;
  if (reg == kRegBaudCode && value >= dqbus::kBaudCodeCount) return dqbus::msBadValue;
  regs_[reg] = value;
  return dqbus::msOk;
}

uint16_t ConfigRegisters::PulseNumber(int counter) const {
  return static_cast<uint16_t>(regs_[kRegPulseBase + 2 * counter] | (regs_[kRegPulseBase + 2 * counter + 1] << 8));
}

void ConfigRegisters::SetPulseNumber(int counter, uint16_t value) {
  regs_[kRegPulseBase + 2 * counter] = static_cast<uint8_t>(value & 0xFF);
  regs_[kRegPulseBase + 2 * counter + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t ConfigRegisters::Mask(uint8_t base) const {
  uint32_t mask = 0;
  for (int j = 0; j < 4; ++j) mask |= static_cast<uint32_t>(regs_[base + 3 * j]) << (8 * j);
  return mask;
}

void ConfigRegisters::SetMask(uint8_t base, uint32_t mask) {
  for (int j = 0; j < 4; ++j) regs_[base + 3 * j] = static_cast<uint8_t>(mask >> (8 * j));
}

}  // namespace dqsim
