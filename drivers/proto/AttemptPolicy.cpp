#include "AttemptPolicy.h"

#include <algorithm>

#include "core/ErrorCodes.h"
#include "Transport.h"

namespace dqbus {

AttemptEnd EndOf(int32_t code) {
  if (code == dqerr::kOk) return AttemptEnd::kReplied;
  return dqerr::IsRetryable(code) ? AttemptEnd::kFailed : AttemptEnd::kFault;
}

AttemptPolicy::AttemptPolicy(const Transport& transport, Clock& clock, const LinkSettings& settings)
    : transport_(transport), clock_(clock), settings_(settings), retries_(std::clamp(settings.retries, 0, kMaxRetries)) {
  const int64_t bound = transport.ExchangeBoundMicros(settings);
  if (bound > 0) {
    now_ = clock.NowMicros();
    end_ = now_ + bound;
  }
}

bool AttemptPolicy::Starts(int index, int64_t& deadline) {
  deadline = 0;
  if (index > retries_) return false;
  if (end_ == 0) return true;
  if (index > 0) now_ = clock_.NowMicros();
  const int64_t left = end_ - now_;
  if (left <= 0 || (index > 0 && left < transport_.RetryMinimumMicros(settings_))) return false;
  const int64_t share = left / (retries_ + 1 - index);
  deadline = now_ + std::min(left, std::max(share, transport_.ReplyWindowMicros(settings_)));
  return true;
}

}  // namespace dqbus
