// Output of dq7184: text lines in UTF-8 on standard output, messages on
// standard error, JSON documents, and the one question a restore asks.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace dqcli {

void PrintLine(const std::string& text);
void PrintError(const std::string& text);  // "dq7184: " + text on standard error
void PrintJson(const nlohmann::json& document);

// Standard input and output are both a terminal.
bool OnTerminal();
// Asks on the terminal; true only for an answer beginning with y or Y.
bool AskYes(const std::string& question);

}  // namespace dqcli
