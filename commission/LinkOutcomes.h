// The outcome classes of one exchange, as the driver libraries' codes tell
// them apart (docs/protocol.md, section 8): a short key for scripts and an
// English name for people; the libraries' own text comes beside it.
#pragma once

#include <cstdint>
#include <string>

namespace dqcommission {

// "ok", "no_reply", "crc", "other_address", ...; "module_status_S" for a
// module status without a class of its own, "code_N" for any other code.
std::string OutcomeKey(int32_t code);
// "success", "no reply", "CRC error", ...
std::string OutcomeName(int32_t code);

}  // namespace dqcommission
