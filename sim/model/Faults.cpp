#include "sim/model/Faults.h"

#include <algorithm>
#include <array>

namespace dqsim {

namespace {

struct KindName {
  FaultKind kind;
  const char* name;
};

constexpr KindName kNames[] = {
    {FaultKind::kSilence, "silence"},          {FaultKind::kCorruptCrc, "corrupt-crc"},
    {FaultKind::kWrongAddress, "wrong-address"}, {FaultKind::kWrongCommand, "wrong-command"},
    {FaultKind::kGarbage, "garbage"},           {FaultKind::kTruncate, "truncate"},
    {FaultKind::kOversizeCount, "oversize-count"}, {FaultKind::kOversizeExtra, "oversize-extra"},
    {FaultKind::kDelay, "delay"},               {FaultKind::kErrorStatus, "status"},
    {FaultKind::kDuplicate, "duplicate"},       {FaultKind::kStale, "stale"},
    {FaultKind::kRefuseWrite, "refuse-write"},  {FaultKind::kLoseWrite, "lose-write"},
};

constexpr int kDefaultOversizeCount = 200;
constexpr int kDefaultExtraBytes = 8;
constexpr int kDefaultGarbageBytes = 16;
constexpr int kMaxAddedBytes = 1024;
constexpr int kMaxDuplicateDelayMs = 60000;

}  // namespace

const char* FaultName(FaultKind kind) {
  for (const auto& entry : kNames) {
    if (entry.kind == kind) return entry.name;
  }
  return "?";
}

std::optional<FaultKind> FaultKindFromName(const std::string& name) {
  for (const auto& entry : kNames) {
    if (name == entry.name) return entry.kind;
  }
  return std::nullopt;
}

std::string DescribeFault(const Fault& fault) {
  std::string text = FaultName(fault.kind);
  if (fault.arg >= 0) text += " " + std::to_string(fault.arg);
  text += fault.remaining < 0 ? " always" : " next " + std::to_string(fault.remaining);
  return text;
}

void FaultSet::Add(const Fault& fault) {
  if (fault.remaining == 0) return;
  Clear(fault.kind);
  faults_.push_back(fault);
}

void FaultSet::Clear(FaultKind kind) {
  faults_.erase(std::remove_if(faults_.begin(), faults_.end(), [kind](const Fault& f) { return f.kind == kind; }),
                faults_.end());
}

const Fault* FaultSet::Find(FaultKind kind) const {
  for (const auto& fault : faults_) {
    if (fault.kind == kind) return &fault;
  }
  return nullptr;
}

void FaultSet::Consume(FaultKind kind) {
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->kind != kind || it->remaining < 0) continue;
    if (--it->remaining <= 0) faults_.erase(it);
    return;
  }
}

std::optional<FaultKind> FaultSet::TakeWriteFault(uint8_t reg) {
  for (FaultKind kind : {FaultKind::kRefuseWrite, FaultKind::kLoseWrite}) {
    const Fault* f = Find(kind);
    if (f == nullptr || f->arg != reg) continue;
    Consume(kind);
    return kind;
  }
  return std::nullopt;
}

std::vector<uint8_t> ReplyPlan::AllBytes() const {
  std::vector<uint8_t> all;
  for (const auto& extra : before) all.insert(all.end(), extra.bytes.begin(), extra.bytes.end());
  all.insert(all.end(), bytes.begin(), bytes.end());
  for (const auto& extra : after) all.insert(all.end(), extra.bytes.begin(), extra.bytes.end());
  return all;
}

ReplyPlan FaultSet::Apply(dqbus::Reply reply) {
  ReplyPlan plan;
  Apply(std::move(reply), plan);
  return plan;
}

namespace {

// The faults that acted on one reply, without allocating.
class UsedFaults {
 public:
  void push_back(FaultKind kind) {
    if (count_ < kinds_.size()) kinds_[count_++] = kind;
  }
  const FaultKind* begin() const { return kinds_.data(); }
  const FaultKind* end() const { return kinds_.data() + count_; }

 private:
  std::array<FaultKind, 16> kinds_{};
  size_t count_ = 0;
};

}  // namespace

void FaultSet::Apply(dqbus::Reply reply, ReplyPlan& plan) {
  plan.send = true;
  plan.bytes.clear();
  plan.delayMs = 0;
  plan.before.clear();
  plan.after.clear();
  if (Find(FaultKind::kSilence)) {
    Consume(FaultKind::kSilence);
    plan.send = false;
    return;
  }
  UsedFaults used;
  if (const Fault* f = Find(FaultKind::kGarbage)) {
    // Bytes without a start byte of either frame kind.
    int size = f->arg > 0 ? std::min(f->arg, kMaxAddedBytes) : kDefaultGarbageBytes;
    plan.bytes.assign(static_cast<size_t>(size), 0x55);
    used.push_back(f->kind);
  }
  if (const Fault* f = Find(FaultKind::kDelay)) {
    plan.delayMs = std::max(f->arg, 0);
    used.push_back(f->kind);
  }
  if (!plan.bytes.empty()) {
    for (FaultKind kind : used) Consume(kind);
    return;
  }
  if (const Fault* f = Find(FaultKind::kStale)) {
    if (!previous_.empty()) plan.before.push_back({previous_, plan.delayMs});
    used.push_back(f->kind);
  }
  if (const Fault* f = Find(FaultKind::kErrorStatus)) {
    reply.status = static_cast<uint8_t>(f->arg >= 0 ? f->arg : dqbus::msBusy);
    reply.data.clear();
    used.push_back(f->kind);
  }
  if (const Fault* f = Find(FaultKind::kWrongAddress)) {
    reply.address = static_cast<uint8_t>(f->arg >= 0 ? f->arg : reply.address + 1);
    used.push_back(f->kind);
  }
  if (const Fault* f = Find(FaultKind::kWrongCommand)) {
    reply.command = static_cast<uint8_t>(f->arg >= 0 ? f->arg : reply.command + 1);
    used.push_back(f->kind);
  }
  auto& bytes = plan.bytes;
  if (const Fault* f = Find(FaultKind::kOversizeCount)) {
    // A frame whose count byte lies beyond the maximum, carrying that many
    // data bytes and a CRC that matches them.
    int count = f->arg > static_cast<int>(dqbus::kReplyMaxData) && f->arg <= 255 ? f->arg : kDefaultOversizeCount;
    bytes = {dqbus::kReplyStart,
             static_cast<uint8_t>(reply.transaction & 0xFF),
             static_cast<uint8_t>(reply.transaction >> 8),
             reply.address,
             reply.command,
             reply.status,
             static_cast<uint8_t>(count)};
    bytes.insert(bytes.end(), reply.data.begin(), reply.data.end());
    bytes.resize(bytes.size() + static_cast<size_t>(count) - reply.data.size(), 0);
    uint16_t crc = dqbus::Crc16(bytes.data(), bytes.size());
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    used.push_back(f->kind);
  } else {
    dqbus::EncodeReplyInto(reply, bytes);
  }
  if (const Fault* f = Find(FaultKind::kCorruptCrc)) {
    bytes[bytes.size() - 1] ^= 0x5A;
    bytes[bytes.size() - 2] ^= 0xA5;
    used.push_back(f->kind);
  }
  if (const Fault* f = Find(FaultKind::kTruncate)) {
    size_t keep = f->arg >= 0 ? static_cast<size_t>(f->arg) : bytes.size() / 2;
    keep = std::clamp<size_t>(keep, 1, bytes.size() - 1);
    bytes.resize(keep);
    used.push_back(f->kind);
  }
  if (const Fault* f = Find(FaultKind::kOversizeExtra)) {
    int extra = f->arg > 0 ? std::min(f->arg, kMaxAddedBytes) : kDefaultExtraBytes;
    bytes.insert(bytes.end(), static_cast<size_t>(extra), 0x00);
    used.push_back(f->kind);
  }
  if (const Fault* f = Find(FaultKind::kDuplicate)) {
    int gap = std::clamp(f->arg, 0, kMaxDuplicateDelayMs);
    plan.after.push_back({bytes, plan.delayMs + gap});
    used.push_back(f->kind);
  }
  previous_ = bytes;
  for (FaultKind kind : used) Consume(kind);
}

}  // namespace dqsim
