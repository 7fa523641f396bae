// A carrier of frames between the PC and the module: a serial line (a byte
// stream) or the LAN converter (one frame per datagram).
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "AttemptPolicy.h"
#include "LinkSettings.h"

namespace dqbus {

class FrameTap;

class Transport {
 public:
  Transport() : transaction_(static_cast<uint16_t>(std::random_device{}())) {}
  virtual ~Transport() = default;

  // Transaction numbers: every attempt of an exchange sends a new one (a
  // link starts at a random number), and a reply counts only when it
  // echoes the number of an attempt of the exchange now running.
  void BeginExchange() {
    first_ = static_cast<uint16_t>(transaction_ + 1);
    sent_ = 0;
  }
  uint16_t NextTransaction() {
    ++sent_;
    return ++transaction_;
  }
  uint16_t Transaction() const { return transaction_; }
  bool IsOwnTransaction(uint16_t number) const { return static_cast<uint16_t>(number - first_) < sent_; }
  // For tests: the number after which the next exchange goes on.
  void SetTransaction(uint16_t number) {
    transaction_ = number;
    sent_ = 0;
  }

  // Makes the transport ready for an exchange before anything is sent: a
  // serial port that vanished is looked for and reopened here. Returns a
  // dqerr code.
  virtual int32_t Ready() { return 0; }
  // How many times the far end may have changed under the link: a serial
  // device opened again, a LAN converter found refusing or unreachable. A
  // module identified before must be identified again after it grew.
  uint32_t Reconnections() const { return reconnections_; }

  // True when every Receive yields one whole frame (possibly empty).
  virtual bool CarriesDatagrams() const = 0;
  // Applies the link settings (line speed, baud code of the converter).
  // Returns a dqerr code.
  virtual int32_t Configure(const LinkSettings& settings) = 0;
  // Begins attempt `index` of the exchange now running (0: the first), as
  // the exchange numbers them. Returns a dqerr code.
  int32_t StartAttempt(int index) {
    dropEarlierInput_ = AttemptPolicy::DropsEarlierInput(index);
    return BeginAttempt();
  }
  // Prepares an attempt (see StartAttempt): drops whatever arrived before
  // it that the attempt cannot use. Returns a dqerr code.
  virtual int32_t BeginAttempt() = 0;
  // Sends one request frame. Returns a dqerr code.
  virtual int32_t Write(const uint8_t* frame, size_t size, int64_t deadlineMicros) = 0;
  // Waits for input until the deadline (microseconds of the engine's clock).
  // Returns kOk with bytes appended to out and arrived set, kOk with arrived
  // false when the deadline passed, or the code of a fault.
  virtual int32_t Receive(int64_t deadlineMicros, std::vector<uint8_t>& out, bool& arrived) = 0;
  // Time from the start of an attempt until the reply must have begun
  // (datagrams: the shortest window of one attempt).
  virtual int64_t ReplyWindowMicros(const LinkSettings& settings) const = 0;
  // Time allowed for the rest of a started reply (stream transports).
  virtual int64_t RestWindowMicros(const LinkSettings& settings, size_t missingBytes) const = 0;
  // Bound of a whole exchange, retries included; 0 when only the attempts
  // bound it (serial line).
  virtual int64_t ExchangeBoundMicros(const LinkSettings&) const { return 0; }
  // Least time left in which a retry may still be started (with a bound).
  virtual int64_t RetryMinimumMicros(const LinkSettings&) const { return 0; }

  // The frame trace, null while none is on: each frame written and each
  // read goes to it. Set between exchanges by the link's owner.
  void SetTap(FrameTap* tap) { tap_ = tap; }

 protected:
  void NoteReconnection() { ++reconnections_; }
  // During BeginAttempt: whether the attempt may drop what arrived before it.
  bool DropEarlierInput() const { return dropEarlierInput_; }
  FrameTap* tap_ = nullptr;

 private:
  uint32_t reconnections_ = 0;
  bool dropEarlierInput_ = true;
  uint16_t transaction_;
  uint16_t first_ = 0;  // of the exchange now running
  uint32_t sent_ = 0;   // attempts of it so far
};

}  // namespace dqbus
