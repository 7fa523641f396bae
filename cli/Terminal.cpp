#include "Terminal.h"

#include <unistd.h>

#include <iostream>

namespace dqcli {

void PrintLine(const std::string& text) { std::cout << text << '\n'; }

void PrintError(const std::string& text) { std::cerr << "dq7184: " << text << std::endl; }

void PrintJson(const nlohmann::json& document) {
  // Texts that are not UTF-8 are replaced rather than stopping the report.
  std::cout << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

bool OnTerminal() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

bool AskYes(const std::string& question) {
  // On standard error, so that a JSON report on standard output stays whole.
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

}  // namespace dqcli
