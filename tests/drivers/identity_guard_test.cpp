// The identity a link keeps per module: a module that shares an address
// with another at a different rate is not refused as a stranger, while a
// different module behind the same address and rate after a reopen is.
#include <gtest/gtest.h>

#include <map>

#include "core/ErrorCodes.h"
#include "IdentityGuard.h"
#include "core/ModuleCommands.h"

namespace {

using dqglue::IdentityGuard;

// The modules on the far end: type byte by rate, as identification replies.
struct FarEnd {
  std::map<uint32_t, uint8_t> typeAtRate;
  uint32_t rate = 9600;
  dqbus::ExchangeResult Answer(const dqbus::Request&) const {
    dqbus::ExchangeResult result;
    result.reply.data = {typeAtRate.at(rate), 0, 0, 0};
    return result;
  }
};

// A data request to address 3 through the guard, at the reconnection count `epoch`.
int32_t Read(IdentityGuard& guard, const FarEnd& far, uint32_t epoch) {
  dqbus::Request request;
  request.address = 3;
  request.command = dqcmd::kCmdReadRegister;
  return guard.Before(request, epoch, [&far](const dqbus::Request& ask) { return far.Answer(ask); });
}

TEST(IdentityGuard, KeptPerAddressAndRate) {
  struct Row {
    const char* what;
    uint32_t secondRate;   // the rate of the second read
    uint8_t secondType;    // the module there
    uint32_t secondEpoch;  // the reconnection count then
    int32_t expected;
  };
  const Row rows[] = {
      {"same module after a reopen", 9600, 'A', 1, dqerr::kOk},
      {"another module after a reopen", 9600, 'B', 1, dqerr::kForeignModule},
      {"another module at another rate", 19200, 'B', 0, dqerr::kOk},
      {"another module at another rate after a reopen", 19200, 'B', 1, dqerr::kOk},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    IdentityGuard guard;
    FarEnd far{{{9600, 'A'}}, 9600};
    guard.SetRate(9600);
    ASSERT_EQ(Read(guard, far, 0), dqerr::kOk);
    far.typeAtRate[row.secondRate] = row.secondType;
    far.rate = row.secondRate;
    guard.SetRate(row.secondRate);
    EXPECT_EQ(Read(guard, far, row.secondEpoch), row.expected);
  }
}

}  // namespace
