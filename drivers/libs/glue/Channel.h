// One open link of a driver library: its transport, the settings given by
// SetConfig, and the exchange of the Send entry point, guarded so that no
// reply of another module is handed out after the far end changed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "Clock.h"
#include "Exchange.h"
#include "IdentityGuard.h"
#include "FrameTap.h"
#include "LinkSettings.h"
#include "SerialLine.h"
#include "Transport.h"

namespace dqglue {

class Channel {
 public:
  explicit Channel(std::unique_ptr<dqbus::Transport> transport, dqbus::Clock& clock = dqbus::SteadyClock());
  // A serial line is told after each exchange whether it took its reply.
  explicit Channel(std::unique_ptr<dqbus::SerialLine> line, dqbus::Clock& clock = dqbus::SteadyClock());

  // Rate one of the nine, timing in ms (clamped 0-5000), retries after the
  // first attempt (clamped 0-5). Returns a dqerr code; on failure the
  // earlier settings stay, except with the device away (kPortVanished):
  // then the new ones are kept for its return.
  int32_t SetConfig(int32_t baudRate, int32_t timingMs, int32_t retries);
  dqbus::LinkSettings Settings();

  // Request: 8 words, the low byte of each counts. Reply: 100 words, all
  // written: one data byte per word from word 0, the rest 0. count gets
  // the number of data bytes (0 after a failure). Returns a dqerr code.
  // A request may take up to three identification exchanges before it
  // (IdentityGuard).
  int32_t Send(const uint32_t* request, uint32_t* reply, int32_t& count);

  // Starts (callback not null) or ends the frame trace. Waits for an
  // exchange running on another thread, so that once it returns the old
  // callback is not called again.
  void Trace(dqabi::TraceCallback callback, void* context);
  // Ends a trace that is on (Done); costs nothing when none is.
  void EndTrace();

 private:
  // The request with the guard around it; the result to hand out.
  dqbus::ExchangeResult Guarded(const dqbus::Request& request);
  // One exchange on the transport.
  dqbus::ExchangeResult Carry(const dqbus::Request& request);

  std::mutex mutex_;  // one exchange at a time on a link
  std::unique_ptr<dqbus::Transport> transport_;
  dqbus::SerialLine* serial_ = nullptr;  // transport_ when it is a serial line
  dqbus::Clock& clock_;
  dqbus::LinkSettings settings_;
  dqbus::ExchangeBuffers buffers_;  // reused by every exchange
  IdentityGuard identities_;
  dqbus::FrameTap tap_;
  std::atomic<bool> traced_{false};
};

}  // namespace dqglue
