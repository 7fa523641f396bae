// A text read line by line for the file parsers, counted so that a refusal
// names the line it is about ("line 7: ...").
#pragma once

#include <sstream>
#include <string>

namespace dqcommission {

class NumberedLines {
 public:
  explicit NumberedLines(const std::string& text) : lines_(text) {}

  bool Next(std::string& line) {
    if (!std::getline(lines_, line)) return false;
    ++number_;
    return true;
  }
  int Number() const { return number_; }

  // Always false; sets *why (when given) to the refusal of the current line.
  bool Fail(const std::string& what, std::string* why) const {
    if (why != nullptr) *why = "line " + std::to_string(number_) + ": " + what;
    return false;
  }

 private:
  std::istringstream lines_;
  int number_ = 0;
};

}  // namespace dqcommission
