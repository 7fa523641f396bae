// A register read takes its value only from a reply that names the register
// asked for; a reply naming another one fails the read instead of passing
// that register's value off as this one's (the simulator never sends one).
#include "commission/ModuleAccess.h"
#include "commission/ModuleReadout.h"
#include "core/ErrorCodes.h"
#include "txxx847_fixture.h"

namespace td = testdriver;

namespace {

class RegisterEcho : public Txxx847Test {
 protected:
  TConnectionConfig Link() {
    Bind();
    TConnectionConfig link;
    SetConnectionDefaults(&link);
    link.InterfaceType = itComPort;
    link.DriverHandle = handle_;
    link.Initialized = true;
    return link;
  }
};

TEST_F(RegisterEcho, AReplyNamingAnotherRegisterFailsTheRead) {
  const TConnectionConfig link = Link();
  const dqcommission::ModuleAccess module(link, 1);
  const struct {
    uint32_t echo;
    uint8_t status;
  } rows[] = {{0x3F, 0}, {0x3E, static_cast<uint8_t>(dqerr::kEchoMismatch)}};
  for (const auto& row : rows) {
    td::QueueData({row.echo, row.echo, 0x07, 0x07});
    uint8_t value = 0xAA;
    EXPECT_EQ(module.ReadRegister(0x3F, value), row.status) << row.echo;
    EXPECT_EQ(value, row.status == 0 ? 0x07 : 0xAA) << row.echo;
  }
}

TEST_F(RegisterEcho, TheReportsReadoutFailsRatherThanShowZero) {
  TConnectionConfig link = Link();
  // Every reply names register 0: the read of register 1 must fail.
  const dqcommission::ModuleReadout readout = dqcommission::ReadModule(link, 1);
  EXPECT_NE(readout.error.find("register 1 named another register"), std::string::npos) << readout.error;
}

}  // namespace
