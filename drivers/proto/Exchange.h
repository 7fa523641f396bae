// One exchange with the module: send a request frame, wait for the matching
// reply, retry a bounded number of times.
#pragma once

#include <cstdint>
#include <vector>

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

// Every attempt sends the request with a new transaction number; the reply
// must echo the number of one of the exchange's attempts, come from
// request.address and echo request.command. Replies of earlier exchanges
// and noise are dropped and waiting goes on until the attempt's deadline; a
// bad frame ends the attempt. When the next attempt starts, and with which
// window, AttemptPolicy (AttemptPolicy.h) decides. request.transaction is
// not used.
ExchangeResult Exchange(Transport& transport, Clock& clock, const LinkSettings& settings, const Request& request);

// What an exchange receives into. A link keeps one and hands it to every
// exchange, so that an exchange allocates nothing once the buffers have
// grown to their working size.
struct ExchangeBuffers {
  std::vector<uint8_t> bytes;
  ReplyStream stream;
};
ExchangeResult Exchange(Transport& transport, Clock& clock, const LinkSettings& settings, const Request& request,
                        ExchangeBuffers& buffers);

}  // namespace dqbus
