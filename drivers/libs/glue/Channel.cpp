#include "Channel.h"

#include <algorithm>

#include "core/ErrorCodes.h"
#include "Exchange.h"
#include "core/DriverAbi.h"
#include "core/BaudRates.h"

namespace dqglue {

Channel::Channel(std::unique_ptr<dqbus::Transport> transport, dqbus::Clock& clock)
    : transport_(std::move(transport)), clock_(clock), tap_(clock, transport_->CarriesDatagrams()) {}

Channel::Channel(std::unique_ptr<dqbus::SerialLine> line, dqbus::Clock& clock)
    : transport_(std::move(line)), clock_(clock), tap_(clock, false) {
  serial_ = static_cast<dqbus::SerialLine*>(transport_.get());
}

int32_t Channel::SetConfig(int32_t baudRate, int32_t timingMs, int32_t retries) {
  if (baudRate <= 0 || dqcore::BaudCodeOf(static_cast<uint32_t>(baudRate)) < 0) return dqerr::kBaudRate;
  std::lock_guard<std::mutex> lock(mutex_);
  dqbus::LinkSettings settings = dqbus::Clamped(static_cast<uint32_t>(baudRate), timingMs, retries);
  int32_t code = transport_->Configure(settings);
  // With the device away (10) the settings are kept for its return: the
  // line reopens at the new rate, and the exchanges time it by them.
  if (code == dqerr::kOk || code == dqerr::kPortVanished) {
    settings_ = settings;
    identities_.SetRate(settings.baudRate);
  }
  return code;
}

dqbus::LinkSettings Channel::Settings() {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

int32_t Channel::Send(const uint32_t* request, uint32_t* reply, int32_t& count) {
  dqbus::Request frame;
  frame.address = static_cast<uint8_t>(request[0]);
  frame.command = static_cast<uint8_t>(request[1]);
  frame.subcode = static_cast<uint8_t>(request[2]);
  for (size_t i = 0; i < frame.params.size(); ++i) frame.params[i] = static_cast<uint8_t>(request[3 + i]);

  std::unique_lock<std::mutex> lock(mutex_);
  const dqbus::ExchangeResult result = Guarded(frame);
  lock.unlock();
  const auto& data = result.reply.data;
  const bool ok = result.code == dqerr::kOk;
  // Never beyond word kReplyWords - 1, whatever the reply held.
  const size_t used = ok ? std::min(data.size(), static_cast<size_t>(dqabi::kReplyWords)) : 0;
  std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(used), reply);
  std::fill(reply + used, reply + dqabi::kReplyWords, 0u);
  count = static_cast<int32_t>(used);
  return result.code;
}

namespace {

dqbus::ExchangeResult Failure(int32_t code) {
  dqbus::ExchangeResult result;
  result.code = code;
  return result;
}

}  // namespace

dqbus::ExchangeResult Channel::Guarded(const dqbus::Request& request) {
  if (identities_.Refuses(request.address)) return Failure(dqerr::kForeignModule);
  // A vanished port is reopened here, so that the module behind it is
  // identified before the request goes out: a write reaches no other module.
  int32_t code = transport_->Ready();
  if (code == dqerr::kOk) {
    code = identities_.Before(request, transport_->Reconnections(),
                              [this](const dqbus::Request& ask) { return Carry(ask); });
  }
  if (code != dqerr::kOk) return Failure(code);
  const dqbus::ExchangeResult result = Carry(request);
  code = identities_.After(request, result);
  return code == dqerr::kOk ? result : Failure(code);
}

dqbus::ExchangeResult Channel::Carry(const dqbus::Request& request) {
  const uint32_t epoch = transport_->Reconnections();
  dqbus::ExchangeResult result = dqbus::Exchange(*transport_, clock_, settings_, request, buffers_);
  // A reply (also one with a module status)...
  const bool replied = result.code == dqerr::kOk || result.code > dqerr::kModuleStatusBase;
  // ...taken at the first attempt leaves nothing late on the line.
  if (serial_ != nullptr) serial_->ExchangeEnded(replied && result.attempts == 1);
  // A reply over a device opened during the exchange is not handed out:
  // nothing identified the module behind it. (Ready opens a vanished
  // device before any exchange, so this stays a safeguard.)
  if (replied && transport_->Reconnections() != epoch) return Failure(dqerr::kPortVanished);
  return result;
}

void Channel::Trace(dqabi::TraceCallback callback, void* context) {
  std::lock_guard<std::mutex> lock(mutex_);
  tap_.Set(callback, context);
  transport_->SetTap(tap_.On() ? &tap_ : nullptr);
  traced_ = tap_.On();
}

void Channel::EndTrace() {
  if (traced_) Trace(nullptr, nullptr);
}

}  // namespace dqglue
