// One exchange with the module: send a request frame, wait for the matching
// reply, retry a bounded number of times.
#pragma once

#include <cstdint>

#include "Clock.h"
#include "LinkSettings.h"
#include "Protocol.h"
#include "Transport.h"

namespace dqbus {

struct ExchangeResult {
  // dqerr code: kOk, a module status mapped by dqerr::FromModuleStatus, or
  // the most specific failure seen over all attempts.
  int32_t code = 0;
  Reply reply;       // the accepted reply (also when it carries a module status)
  int attempts = 0;  // attempts started
};

// The reply must come from request.address and echo request.command; other
// valid frames, bad frames and noise are dropped and waiting goes on until
// the attempt's deadline. After an attempt with no valid reply the request
// is sent again, at most settings.retries times. Faults of the port or the
// socket end the exchange at once.
ExchangeResult Exchange(Transport& transport, Clock& clock, const LinkSettings& settings, const Request& request);

}  // namespace dqbus
