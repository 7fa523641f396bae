// Keeps a link to the module it talked to. After the link found its device
// again (a serial port reopened, a LAN converter back after refusing),
// another module may answer in its place; the guard identifies the module
// (command 200, sub-codes 0-2) before any reply to its address is handed
// out, and holds the answer against the identification this link carried
// for that address before. A module found different is refused until the
// link is opened anew.
//
// What is kept belongs to an address at a rate: two modules that share an
// address at different rates are two modules, and a program that changes
// the rate (a scan) must not have the second refused as a stranger.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "Exchange.h"
#include "Protocol.h"

namespace dqglue {

constexpr int kIdentityParts = 3;  // identification sub-codes 0-2

// The identification part a request asks for (its sub-code 0-2), or -1.
int IdentityPartOf(const dqbus::Request& request);

class IdentityGuard {
 public:
  // Carries one exchange on the link.
  using Carry = std::function<dqbus::ExchangeResult(const dqbus::Request&)>;

  // The rate the link's SetConfig set: later requests go to the modules at it.
  void SetRate(uint32_t baudRate) { rate_ = baudRate; }

  // True once the module at the address was found to be another one.
  bool Refuses(uint8_t address) const;

  // Before a request goes out, at the transport's reconnection count
  // `epoch`: identifies the module at its address when the link has not
  // identified it since the far end last changed, or has never seen its
  // whole identification. Returns kOk, the failure of an identification
  // exchange (tried again at the next request), or kForeignModule.
  //
  // A request that is itself an identification, to an address with none
  // carried yet, needs nothing before: its reply is the first.
  int32_t Before(const dqbus::Request& request, uint32_t epoch, const Carry& carry);

  // After the request's exchange: an identification reply is held against
  // the one carried before (or kept as the first). Returns kOk when the
  // result may be handed out, else kForeignModule.
  int32_t After(const dqbus::Request& request, const dqbus::ExchangeResult& result);

 private:
  struct Known {
    std::array<std::optional<dqbus::ReplyData>, kIdentityParts> parts;
    bool checked = false;    // identified, or first seen, at checkedAt
    uint32_t checkedAt = 0;  // the reconnection count then
    bool foreign = false;

    bool Empty() const;
    bool Complete() const;
    bool CheckedAt(uint32_t epoch) const { return checked && checkedAt == epoch; }
    // kOk, or kForeignModule (and refused from now on) when the part
    // differs from the one carried before.
    int32_t Hold(int part, const dqbus::ReplyData& data);
  };

  using Key = std::pair<uint32_t, uint8_t>;  // rate, address
  Key KeyOf(uint8_t address) const { return {rate_, address}; }

  uint32_t rate_ = 0;
  std::map<Key, Known> known_;
};

}  // namespace dqglue
