// One module on an open link: the exchanges the commissioning work needs,
// each a ModuleExchange with the link's interface and handle and this
// module's address. Statuses are the library codes (0 = success); texts
// come back in UTF-8 for the terminal.
#pragma once

#include <cstdint>
#include <string>

#include "Dekl.h"

namespace dqcommission {

struct ReplyBytes {
  uint8_t status = 0;
  uint8_t b[4] = {0, 0, 0, 0};  // b4..b7 on status 0
};

class ModuleAccess {
 public:
  ModuleAccess(const TConnectionConfig& link, uint8_t address) : link_(link), address_(address) {}

  uint8_t Address() const { return address_; }
  const TConnectionConfig& Link() const { return link_; }

  // One exchange with the parameter bytes b4..b7 (b3 = 0).
  ReplyBytes Exchange(uint8_t command, uint8_t subcode, uint8_t b4 = 0, uint8_t b5 = 0, uint8_t b6 = 0,
                      uint8_t b7 = 0) const;
  // Status; value is set only on status 0.
  uint8_t ReadRegister(uint8_t reg, uint8_t& value) const;
  uint8_t WriteRegister(uint8_t reg, uint8_t value) const;

  // The library's text for a status or code, UTF-8.
  std::string StatusText(int32_t status) const;

 private:
  const TConnectionConfig& link_;
  uint8_t address_;
};

}  // namespace dqcommission
