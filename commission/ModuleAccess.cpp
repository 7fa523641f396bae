#include "ModuleAccess.h"

#include "Txxx847.h"
#include "core/ErrorCodes.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

ReplyBytes ModuleAccess::Exchange(uint8_t command, uint8_t subcode, uint8_t b4, uint8_t b5, uint8_t b6,
                                  uint8_t b7) const {
  ReplyBytes result;
  uint8_t b3 = 0;
  TExchangeReply reply{};
  // A link that is not open sends nothing; say so with the layer's own code.
  result.status = kDriverNotBound;
  if (!link_.Initialized || link_.DriverHandle == 0) return result;
  ModuleExchange(link_.InterfaceType, link_.DriverHandle, address_, command, subcode, b3, b4, b5, b6, b7,
                 result.status, reply);
  result.b[0] = b4;
  result.b[1] = b5;
  result.b[2] = b6;
  result.b[3] = b7;
  return result;
}

uint8_t ModuleAccess::ReadRegister(uint8_t reg, uint8_t& value) const {
  ReplyBytes reply = Exchange(dqcmd::kCmdReadRegister, dqcmd::kSubRegister, reg, reg);
  if (reply.status != 0) return reply.status;
  // The reply names the register it holds; another one's value is no
  // value of this register (the library's code for a reply to another request).
  if (reply.b[0] != reg || reply.b[1] != reg) return static_cast<uint8_t>(dqerr::kEchoMismatch);
  value = reply.b[dqcmd::kRegisterValueByte];
  return 0;
}

uint8_t ModuleAccess::WriteRegister(uint8_t reg, uint8_t value) const {
  return Exchange(dqcmd::kCmdWriteRegister, dqcmd::kSubRegister, reg, reg, value, value).status;
}

std::string ModuleAccess::StatusText(int32_t status) const {
  return Utf8FromCp1250(DriverErrorString(link_.InterfaceType, status));
}

}  // namespace dqcommission
