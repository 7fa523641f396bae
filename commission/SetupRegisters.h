// The module's configuration as its 22 registers: where each register's
// byte lives in a TModuleSetup, the order they are read and written in, and
// the reading of the whole configuration from a module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Dekl.h"
#include "ModuleAccess.h"

namespace dqcommission {

// Every configuration register, in the order a restore writes them: the
// pulse numbers, the digital I/O settings, then the baud-rate code and the
// address, which take effect only at the module's next power-up.
const std::vector<uint8_t>& SetupRegisterOrder();
bool IsAddressOrRateRegister(uint8_t reg);

uint8_t RegisterByteOf(const TModuleSetup& setup, uint8_t reg);
void SetRegisterByte(TModuleSetup& setup, uint8_t reg, uint8_t value);

// "0x21 (DIN negation DIN0-DIN7)": the register and what it holds.
std::string RegisterName(uint8_t reg);

// Bit k of a 32-channel mask of the block (channel k in bit k mod 8 of
// byte k div 8).
bool MaskBit(const uint8_t (&mask)[4], int channel);
void SetMaskBit(uint8_t (&mask)[4], int channel, bool on);

struct SetupRead {
  uint8_t status = 0;     // 0 when all registers were read
  uint8_t failedReg = 0;  // the register whose read failed
};

// Reads all 22 registers into setup, address and rate first.
SetupRead ReadSetup(const ModuleAccess& module, TModuleSetup& setup);

}  // namespace dqcommission
