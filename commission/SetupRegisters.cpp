#include "SetupRegisters.h"

#include <cstdio>

#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

std::vector<uint8_t> MakeOrder() {
  std::vector<uint8_t> order;
  for (int i = 0; i < dqcmd::kPulseCounterCount; ++i) {
    order.push_back(dqcmd::PulseRegisterLow(i));
    order.push_back(dqcmd::PulseRegisterHigh(i));
  }
  for (uint8_t reg = dqcmd::kRegDoutInitialBase; reg <= dqcmd::kRegIoLast; ++reg) order.push_back(reg);
  order.push_back(dqcmd::kRegBaudCode);
  order.push_back(dqcmd::kRegAddress);
  return order;
}

// The byte of the block that register reg lives in; nullptr for a pulse
// number register (two halves of a word) and for no register.
template <typename Setup, typename Byte>
Byte* ByteOf(Setup& setup, uint8_t reg) {
  if (reg == dqcmd::kRegAddress) return &setup.Address;
  if (reg == dqcmd::kRegBaudCode) return &setup.BaudCode;
  if (reg >= dqcmd::kRegDoutInitialBase && reg <= dqcmd::kRegIoLast) {
    int offset = reg - dqcmd::kRegDoutInitialBase;
    int byte = offset / dqcmd::kRegIoStride;
    switch (offset % dqcmd::kRegIoStride) {
      case 0: return &setup.DoutInitialState[byte];
      case 1: return &setup.DinNegation[byte];
      default: return &setup.DoutNegation[byte];
    }
  }
  return nullptr;
}

}  // namespace

const std::vector<uint8_t>& SetupRegisterOrder() {
  static const std::vector<uint8_t> order = MakeOrder();
  return order;
}

bool IsAddressOrRateRegister(uint8_t reg) { return reg == dqcmd::kRegAddress || reg == dqcmd::kRegBaudCode; }

uint8_t RegisterByteOf(const TModuleSetup& setup, uint8_t reg) {
  if (reg < 2 * dqcmd::kPulseCounterCount) {
    uint16_t word = setup.PulseNumber[reg / 2];
    return static_cast<uint8_t>(reg % 2 == 0 ? word & 0xFF : word >> 8);
  }
  const uint8_t* byte = ByteOf<const TModuleSetup, const uint8_t>(setup, reg);
  return byte ? *byte : 0;
}

void SetRegisterByte(TModuleSetup& setup, uint8_t reg, uint8_t value) {
  if (reg < 2 * dqcmd::kPulseCounterCount) {
    uint16_t word = setup.PulseNumber[reg / 2];
    word = reg % 2 == 0 ? static_cast<uint16_t>((word & 0xFF00) | value)
                        : static_cast<uint16_t>((word & 0x00FF) | (value << 8));
    setup.PulseNumber[reg / 2] = word;
    return;
  }
  if (uint8_t* byte = ByteOf<TModuleSetup, uint8_t>(setup, reg)) *byte = value;
}

std::string RegisterName(uint8_t reg) {
  char number[8];
  std::snprintf(number, sizeof number, "0x%02X", reg);
  std::string what;
  if (reg == dqcmd::kRegAddress) {
    what = "address";
  } else if (reg == dqcmd::kRegBaudCode) {
    what = "baud-rate code";
  } else if (reg < 2 * dqcmd::kPulseCounterCount) {
    what = "CNT " + std::to_string(reg / 2) + " pulse number, " + (reg % 2 == 0 ? "low byte" : "high byte");
  } else if (reg >= dqcmd::kRegDoutInitialBase && reg <= dqcmd::kRegIoLast) {
    int offset = reg - dqcmd::kRegDoutInitialBase;
    int first = 8 * (offset / dqcmd::kRegIoStride);
    const char* kinds[] = {"DOUT initial state", "DIN negation", "DOUT negation"};
    const char* channel = offset % dqcmd::kRegIoStride == 1 ? "DIN" : "DOUT";
    what = std::string(kinds[offset % dqcmd::kRegIoStride]) + " " + channel + std::to_string(first) + "-" + channel +
           std::to_string(first + 7);
  }
  return std::string(number) + (what.empty() ? "" : " (" + what + ")");
}

bool MaskBit(const uint8_t (&mask)[4], int channel) { return (mask[channel / 8] >> (channel % 8)) & 1; }

void SetMaskBit(uint8_t (&mask)[4], int channel, bool on) {
  const uint8_t bit = static_cast<uint8_t>(1u << (channel % 8));
  mask[channel / 8] = static_cast<uint8_t>(on ? mask[channel / 8] | bit : mask[channel / 8] & ~bit);
}

SetupRead ReadSetup(const ModuleAccess& module, TModuleSetup& setup) {
  SetupRead result;
  std::vector<uint8_t> order = {dqcmd::kRegAddress, dqcmd::kRegBaudCode};
  for (uint8_t reg : SetupRegisterOrder()) {
    if (!IsAddressOrRateRegister(reg)) order.push_back(reg);
  }
  for (uint8_t reg : order) {
    uint8_t value = 0;
    result.status = module.ReadRegister(reg, value);
    if (result.status != 0) {
      result.failedReg = reg;
      return result;
    }
    SetRegisterByte(setup, reg, value);
  }
  return result;
}

}  // namespace dqcommission
