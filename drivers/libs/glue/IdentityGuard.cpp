#include "IdentityGuard.h"

#include <algorithm>

#include "core/ErrorCodes.h"
#include "core/ModuleCommands.h"

namespace dqglue {

int IdentityPartOf(const dqbus::Request& request) {
  return request.command == dqcmd::kCmdIdentify && request.subcode < kIdentityParts ? request.subcode : -1;
}

bool IdentityGuard::Known::Empty() const {
  return std::none_of(parts.begin(), parts.end(), [](const auto& part) { return part.has_value(); });
}

bool IdentityGuard::Known::Complete() const {
  return std::all_of(parts.begin(), parts.end(), [](const auto& part) { return part.has_value(); });
}

int32_t IdentityGuard::Known::Hold(int part, const dqbus::ReplyData& data) {
  auto& held = parts[static_cast<size_t>(part)];
  if (held && *held != data) {
    foreign = true;
    return dqerr::kForeignModule;
  }
  held = data;
  return dqerr::kOk;
}

bool IdentityGuard::Refuses(uint8_t address) const {
  auto found = known_.find(KeyOf(address));
  return found != known_.end() && found->second.foreign;
}

int32_t IdentityGuard::Before(const dqbus::Request& request, uint32_t epoch, const Carry& carry) {
  Known& known = known_[KeyOf(request.address)];
  if (known.foreign) return dqerr::kForeignModule;
  const bool identifying = IdentityPartOf(request) >= 0;
  const bool current = known.CheckedAt(epoch);
  if (current && (identifying || known.Complete())) return dqerr::kOk;
  if (!current && identifying && known.Empty()) {
    known.checked = true;
    known.checkedAt = epoch;
    return dqerr::kOk;
  }
  // Since the far end changed every part, else the parts still missing.
  // Nothing is kept until all have come, so that a part is only ever held
  // against one of the same module.
  std::array<std::optional<dqbus::ReplyData>, kIdentityParts> fresh;
  for (int part = 0; part < kIdentityParts; ++part) {
    if (current && known.parts[static_cast<size_t>(part)]) continue;
    dqbus::Request ask;
    ask.address = request.address;
    ask.command = dqcmd::kCmdIdentify;
    ask.subcode = static_cast<uint8_t>(part);
    const dqbus::ExchangeResult result = carry(ask);
    if (result.code != dqerr::kOk) return result.code;
    fresh[static_cast<size_t>(part)] = result.reply.data;
  }
  for (int part = 0; part < kIdentityParts; ++part) {
    if (!fresh[static_cast<size_t>(part)]) continue;
    const int32_t code = known.Hold(part, *fresh[static_cast<size_t>(part)]);
    if (code != dqerr::kOk) return code;
  }
  known.checked = true;
  known.checkedAt = epoch;
  return dqerr::kOk;
}

int32_t IdentityGuard::After(const dqbus::Request& request, const dqbus::ExchangeResult& result) {
  const int part = IdentityPartOf(request);
  if (part < 0 || result.code != dqerr::kOk) return dqerr::kOk;
  return known_[KeyOf(request.address)].Hold(part, result.reply.data);
}

}  // namespace dqglue
