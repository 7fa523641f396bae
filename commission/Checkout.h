// The guided I/O checkout: every output driven alone and proven by the
// technician's eye or a wired input, every input switched by the
// technician, every counter seen rising. Only the outputs are written (and
// the counters started when the technician allows it); at the end, on a
// stop and on any failure the outputs get the module's configured initial
// states back.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iosfwd>

#include "Dekl.h"
#include "commission/CheckoutResults.h"
#include "commission/LoopbackPlan.h"

namespace dqcommission {

struct CheckoutOptions {
  uint32_t outputs = 0xFFFFFFFFu;   // channels to check, bit n = channel n
  uint32_t inputs = 0xFFFFFFFFu;
  uint32_t counters = 0xFFFFFFFFu;
  LoopbackPlan loopback;            // empty: the technician proves the outputs
  std::chrono::milliseconds inputTimeout{30000};    // per input, then fail
  std::chrono::milliseconds counterTimeout{30000};  // per counter, then fail
  std::chrono::milliseconds settle{1000};  // how long a wired input may take to follow its output
  std::chrono::milliseconds poll{100};     // between two reads while waiting
  int maxLoopbackPulses = 100;  // counters needing more pulses are pulsed by the technician
  bool keepGoing = false;       // go on after a failed channel
  bool echoAnswers = false;     // repeat each answer after its question (answers not typed on a terminal)
};

// Runs the checkout on an open link (record initialised, non-zero handle)
// with the module at `address`. Questions go to `prompts`, one answer per
// line is read from `answers` ("yes", "no", "skip", or their first
// letters); the end of `answers` counts as a stop. `stop` is polled
// between steps and while waiting (set it from SIGINT).
CheckoutResults RunCheckout(TConnectionConfig& link, uint8_t address, const CheckoutOptions& options,
                            std::istream& answers, std::ostream& prompts, const std::atomic<bool>& stop);

// The program's exit code for a finished checkout: 0 passed, 1 failed,
// stopped or cancelled, 3 link error.
int CheckoutExitCode(const CheckoutResults& results);

}  // namespace dqcommission
