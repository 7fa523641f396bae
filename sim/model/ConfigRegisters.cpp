#include "sim/model/ConfigRegisters.h"

#include "Protocol.h"
#include "core/BaudRates.h"

namespace dqsim {

ConfigRegisters::ConfigRegisters(uint8_t address, uint8_t baudCode) {
  for (int i = 0; i < dqcmd::kPulseCounterCount; ++i) SetPulseNumber(i, 1);
  regs_[dqcmd::kRegBaudCode] = baudCode < dqcore::kBaudCodeCount ? baudCode : dqcore::kDefaultBaudCode;
  regs_[dqcmd::kRegAddress] = address;
}

bool ConfigRegisters::Exists(uint8_t reg) {
  return reg <= dqcmd::PulseRegisterHigh(dqcmd::kPulseCounterCount - 1) ||
         (reg >= dqcmd::kRegDoutInitialBase && reg <= dqcmd::kRegIoLast) || reg == dqcmd::kRegBaudCode ||
         reg == dqcmd::kRegAddress;
}

uint8_t ConfigRegisters::Write(uint8_t reg, uint8_t value) {
  if (!Exists(reg)) return dqbus::msBadRegister;
  if (reg == dqcmd::kRegBaudCode && value >= dqcore::kBaudCodeCount) return dqbus::msBadValue;
  regs_[reg] = value;
  return dqbus::msOk;
}

uint16_t ConfigRegisters::PulseNumber(int counter) const {
  return static_cast<uint16_t>(regs_[dqcmd::PulseRegisterLow(counter)] | (regs_[dqcmd::PulseRegisterHigh(counter)] << 8));
}

void ConfigRegisters::SetPulseNumber(int counter, uint16_t value) {
  regs_[dqcmd::PulseRegisterLow(counter)] = static_cast<uint8_t>(value & 0xFF);
  regs_[dqcmd::PulseRegisterHigh(counter)] = static_cast<uint8_t>(value >> 8);
}

uint32_t ConfigRegisters::Mask(uint8_t base) const {
  uint32_t mask = 0;
  for (int j = 0; j < 4; ++j) mask |= static_cast<uint32_t>(regs_[base + dqcmd::kRegIoStride * j]) << (8 * j);
  return mask;
}

void ConfigRegisters::SetMask(uint8_t base, uint32_t mask) {
  for (int j = 0; j < 4; ++j) regs_[base + dqcmd::kRegIoStride * j] = static_cast<uint8_t>(mask >> (8 * j));
}

}  // namespace dqsim
