#include "commission/LoopbackPlan.h"

#include <cctype>
#include <sstream>

#include "commission/NumberedLines.h"

namespace dqcommission {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// "DOUT12" with prefix "DOUT" gives 12; channels 0-31, decimal.
bool Channel(const std::string& word, const std::string& prefix, int& channel) {
  if (word.size() <= prefix.size() || word.size() > prefix.size() + 2 || word.compare(0, prefix.size(), prefix) != 0)
    return false;
  int value = 0;
  for (size_t i = prefix.size(); i < word.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(word[i]))) return false;
    value = value * 10 + (word[i] - '0');
  }
  if (value > 31) return false;
  channel = value;
  return true;
}

}  // namespace

bool LoopbackPlan::Parse(const std::string& text, std::string* why) {
  LoopbackPlan plan;
  dqcommission::NumberedLines lines(text);
  std::string line;
  auto fail = [&](const std::string& what) { return lines.Fail(what, why); };
  while (lines.Next(line)) {
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    for (char& c : line) {
      if (c == '=' || c == '\t' || c == '\r') c = ' ';
    }
    std::istringstream words(Upper(line));
    std::string out;
    std::string in;
    std::string extra;
    if (!(words >> out)) continue;
    int output = 0;
    int input = 0;
    if (!(words >> in) || (words >> extra) || !Channel(out, "DOUT", output) || !Channel(in, "DIN", input))
      return fail("expected \"DOUTk DINj\" with k and j 0-31");
    if (plan.inputOf_[output] >= 0) return fail("DOUT" + std::to_string(output) + " is wired twice");
    if (plan.wiredInputs_ & (1u << input)) return fail("DIN" + std::to_string(input) + " is wired twice");
    plan.inputOf_[output] = static_cast<int8_t>(input);
    plan.wiredInputs_ |= 1u << input;
  }
  *this = plan;
  return true;
}

int LoopbackPlan::OutputOf(int input) const {
  for (int k = 0; k < 32; ++k) {
    if (inputOf_[k] == input) return k;
  }
  return -1;
}

}  // namespace dqcommission
