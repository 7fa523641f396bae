// A register read takes its value only from a reply that names the register
// asked for; a reply naming another one fails the read instead of passing
// that register's value off as this one's (the simulator never sends one).
#include "commission/ModuleAccess.h"
#include "commission/ModuleReadout.h"
#include "core/ErrorCodes.h"
#include "txxx847_fixture.h"

namespace td = testdriver;

namespace {

TEST_F(Txxx847Test, RegisterReadsRefuseAReplyNamingAnotherRegister) {
  Bind();
  TConnectionConfig link;
  SetConnectionDefaults(&link);
  link.DriverHandle = handle_;
  link.Initialized = true;
  const dqcommission::ModuleAccess module(link, 1);
  for (uint32_t echo : {0x3F, 0x3E}) {
    td::QueueData({echo, echo, 0x07, 0x07});
    uint8_t value = 0xAA;
    const bool own = echo == 0x3F;
    EXPECT_EQ(module.ReadRegister(0x3F, value), own ? 0 : dqerr::kEchoMismatch) << echo;
    EXPECT_EQ(value, own ? 0x07 : 0xAA) << echo;
  }
  // The report's readout: every reply names register 0, so register 1 fails.
  EXPECT_NE(dqcommission::ReadModule(link, 1).error.find("register 1 named another register"), std::string::npos);
}

}  // namespace
