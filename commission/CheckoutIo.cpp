#include "commission/CheckoutIo.h"

#include "Txxx847.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

uint32_t Image(const uint8_t (&b)[5]) {
  return static_cast<uint32_t>(b[1]) | static_cast<uint32_t>(b[2]) << 8 | static_cast<uint32_t>(b[3]) << 16 |
         static_cast<uint32_t>(b[4]) << 24;
}

}  // namespace

uint8_t CheckoutIo::Exchange(uint8_t command, uint8_t subcode, uint8_t (&b)[5]) {
  uint8_t status = 0;
  ModuleExchange(link_.InterfaceType, link_.DriverHandle, address_, command, subcode, b[0], b[1], b[2], b[3], b[4],
                 status, reply_);
  return status;
}

uint8_t CheckoutIo::ReadRegister(uint8_t reg, uint8_t& value) {
  uint8_t b[5] = {0, reg, reg, 0, 0};
  uint8_t status = Exchange(dqcmd::kCmdReadRegister, dqcmd::kSubRegister, b);
  // The reply names the register; another one is no value of ours.
  if (status == 0 && (b[1] != reg || b[2] != reg)) return 0xFF;
  if (status == 0) value = b[1 + dqcmd::kRegisterValueByte];
  return status;
}

uint8_t CheckoutIo::ReadIoSettings(IoSettings& settings) {
  IoSettings read;
  for (int j = 0; j < 4; ++j) {
    uint8_t initial = 0;
    uint8_t din = 0;
    uint8_t dout = 0;
    uint8_t status = ReadRegister(dqcmd::DoutInitialRegister(j), initial);
    if (status == 0) status = ReadRegister(dqcmd::DinNegationRegister(j), din);
    if (status == 0) status = ReadRegister(dqcmd::DoutNegationRegister(j), dout);
    if (status != 0) return status;
    read.doutInitial |= static_cast<uint32_t>(initial) << (8 * j);
    read.dinNegation |= static_cast<uint32_t>(din) << (8 * j);
    read.doutNegation |= static_cast<uint32_t>(dout) << (8 * j);
  }
  settings = read;
  return 0;
}

uint8_t CheckoutIo::ReadPulseNumber(int counter, uint16_t& pulses) {
  uint8_t low = 0;
  uint8_t high = 0;
  uint8_t status = ReadRegister(dqcmd::PulseRegisterLow(counter), low);
  if (status == 0) status = ReadRegister(dqcmd::PulseRegisterHigh(counter), high);
  if (status == 0) pulses = static_cast<uint16_t>(low | high << 8);
  return status;
}

uint8_t CheckoutIo::ReadInputs(uint32_t& reported) {
  uint8_t b[5] = {};
  uint8_t status = Exchange(dqcmd::kCmdRead, dqcmd::kSubInputs, b);
  if (status == 0) reported = Image(b);
  return status;
}

uint8_t CheckoutIo::WriteOutputs(uint32_t written) {
  uint8_t b[5] = {0, static_cast<uint8_t>(written), static_cast<uint8_t>(written >> 8),
                  static_cast<uint8_t>(written >> 16), static_cast<uint8_t>(written >> 24)};
  return Exchange(dqcmd::kCmdWrite, dqcmd::kSubOutputs, b);
}

uint8_t CheckoutIo::CountersRunning(bool& running) {
  uint8_t b[5] = {};
  uint8_t status = Exchange(dqcmd::kCmdRead, dqcmd::kSubCounterRun, b);
  if (status == 0) running = Image(b) != 0;
  return status;
}

uint8_t CheckoutIo::StartCounters() {
  uint8_t s = dqcmd::kCountersStart;
  uint8_t b[5] = {0, s, s, s, s};
  return Exchange(dqcmd::kCmdWrite, dqcmd::kSubCounterRun, b);
}

uint8_t CheckoutIo::ReadCounter(int counter, uint32_t& value) {
  uint8_t b[5] = {};
  uint8_t status = Exchange(dqcmd::kCmdReadCounters, static_cast<uint8_t>(counter / dqcmd::kCountersPerGroup), b);
  if (status != 0) return status;
  int first = 4 * (counter % dqcmd::kCountersPerGroup);
  value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | (reply_.Words[first + i] & 0xFF);
  return 0;
}

std::string CheckoutIo::ErrorText(uint8_t status) const {
  if (status == 0xFF) return "the reply named another register";
  return Utf8FromCp1250(DriverErrorString(link_.InterfaceType, status));
}

}  // namespace dqcommission
