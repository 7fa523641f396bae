// Faults injected into the simulator's replies, to exercise every failure
// path of the drivers: each one acts on the next N replies or on every
// reply until it is cleared.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Protocol.h"

namespace dqsim {

enum class FaultKind {
  kSilence,        // no reply at all
  kCorruptCrc,     // the CRC bytes are wrong
  kWrongAddress,   // the reply names another address (arg, default the module's + 1)
  kWrongCommand,   // the reply echoes another command (arg, default the request's + 1)
  kGarbage,        // arg bytes of noise (default 16) that make no frame, instead of the reply
  kTruncate,       // only the first arg bytes are sent (default half the frame)
  kOversizeCount,  // count byte beyond the maximum (arg, default 200) with that many data bytes
  kOversizeExtra,  // arg extra bytes (default 8) after a valid frame
  kDelay,          // the reply leaves arg ms later
  kErrorStatus,    // the reply carries module status arg (default busy) and no data
  kDuplicate,      // the reply is sent a second time, arg ms (default 0) after the first
  kStale,          // the previous reply is sent again just before this one (an answer out of order)
  // Faults of the module itself, acting only on writes (command 103) of
  // register arg; a write of another register leaves them waiting.
  kRefuseWrite,    // the write is refused (status failed), the register unchanged
  kLoseWrite,      // the write is acknowledged but not stored, so its read-back differs
};

struct Fault {
  FaultKind kind = FaultKind::kSilence;
  int arg = -1;        // -1: the kind's default
  int remaining = 1;   // replies still to affect; -1 = until cleared
};

const char* FaultName(FaultKind kind);
std::optional<FaultKind> FaultKindFromName(const std::string& name);
// "corrupt-crc next 2", "delay 150 always", ...
std::string DescribeFault(const Fault& fault);

// What goes on the wire for one reply.
struct ReplyPlan {
  bool send = true;
  std::vector<uint8_t> bytes;  // the frame as it is sent
  int delayMs = 0;
  // Further frames of this answer, sent in this order: before is sent just
  // ahead of bytes, after behind it (each as on a line of its own, e.g. one
  // datagram each).
  struct Extra {
    std::vector<uint8_t> bytes;
    int delayMs = 0;
  };
  std::vector<Extra> before, after;
  // Every frame of the plan in the order sent.
  std::vector<uint8_t> AllBytes() const;
};

class FaultSet {
 public:
  // A fault of a kind already active replaces it.
  void Add(const Fault& fault);
  void Clear() { faults_.clear(); }
  // As a new set: no faults, and no previous reply for a stale fault.
  void Reset() {
    faults_.clear();
    previous_.clear();
  }
  void Clear(FaultKind kind);
  const std::vector<Fault>& Active() const { return faults_; }

  // Encodes a reply with the active faults applied and uses up one reply
  // of each fault that acted on it. A silenced reply uses up only the
  // silence, so the other faults wait for the next reply that is sent.
  ReplyPlan Apply(dqbus::Reply reply);
  // The same into a caller's plan, whose byte buffer is reused.
  void Apply(dqbus::Reply reply, ReplyPlan& plan);

  // The register-write fault (kRefuseWrite or kLoseWrite) that acts on a
  // write of register reg, used up; nullopt when none does.
  std::optional<FaultKind> TakeWriteFault(uint8_t reg);

 private:
  const Fault* Find(FaultKind kind) const;
  void Consume(FaultKind kind);

  std::vector<Fault> faults_;
  std::vector<uint8_t> previous_;  // the last frame sent as a reply
};

}  // namespace dqsim
