#include "sim/model/Wiring.h"

#include <cctype>

#include "sim/model/Numbers.h"

namespace dqsim {

namespace {

// "DOUT3" with prefix "DOUT" gives 3; channels 0-31.
bool ParseChannel(const std::string& word, const std::string& prefix, int& channel) {
  if (word.size() <= prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(word[i])) != prefix[i]) return false;
  }
  unsigned value = 0;
  if (!ParseUnsigned(word.substr(prefix.size()), 31, value)) return false;
  channel = static_cast<int>(value);
  return true;
}

}  // namespace

bool Wiring::Parse(const std::string& text, Wiring& wiring, std::string* why) {
  Wiring parsed;
  size_t start = 0;
  while (start < text.size()) {
    size_t comma = text.find(',', start);
    std::string pair = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t equals = pair.find('=');
    int output = 0;
    int input = 0;
    if (equals == std::string::npos || !ParseChannel(pair.substr(0, equals), "DOUT", output) ||
        !ParseChannel(pair.substr(equals + 1), "DIN", input)) {
      if (why != nullptr) *why = "'" + pair + "' is not DOUTk=DINj with k and j 0-31";
      return false;
    }
    if (parsed.fromOutput_[input] >= 0) {
      if (why != nullptr) *why = "DIN" + std::to_string(input) + " is wired twice";
      return false;
    }
    parsed.Connect(output, input);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  wiring = parsed;
  return true;
}

bool Wiring::Empty() const {
  for (int8_t source : fromOutput_) {
    if (source >= 0) return false;
  }
  return true;
}

uint32_t Wiring::Apply(uint32_t physicalInputs, uint32_t physicalOutputs) const {
  for (int input = 0; input < 32; ++input) {
    int output = fromOutput_[input];
    if (output < 0) continue;
    uint32_t bit = 1u << input;
    physicalInputs = (physicalOutputs >> output) & 1u ? physicalInputs | bit : physicalInputs & ~bit;
  }
  return physicalInputs;
}

std::string Wiring::Text() const {
  std::string text;
  for (int input = 0; input < 32; ++input) {
    if (fromOutput_[input] < 0) continue;
    if (!text.empty()) text += ',';
    text += "DOUT" + std::to_string(fromOutput_[input]) + "=DIN" + std::to_string(input);
  }
  return text;
}

}  // namespace dqsim
