// The options every command shares: the link (as the connection window
// chooses it) and the output form. Registered on each command by one
// function, so an option added here reaches every command.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "Dekl.h"

namespace dqcli {

struct CommonOptions {
  // Link; empty or 0 = take it from W_dq7184.ini beside the program.
  std::string interfaceName;
  int comPort = 0;
  std::string isaBase;
  std::string host;
  int udpPort = 0;
  int udpTimeout = 0;
  std::string address;
  int rate = 0;
  // Output.
  bool json = false;
  // The frame trace: to standard error, or to traceFile when one is named.
  bool trace = false;
  std::string traceFile;
};

// The connection options (--interface, --com, --isa-base, --host,
// --udp-port, --udp-timeout, --address, --rate).
void AddConnectionOptions(CLI::App& command, CommonOptions& options);
// The connection options, --json, --trace and --trace-file.
void AddCommonOptions(CLI::App& command, CommonOptions& options);

// What the options and the settings file decide for one run.
struct LinkChoice {
  TConnectionConfig config{};  // link fields filled; not open
  uint8_t baudCode = 0;
  std::vector<uint8_t> addresses;  // at least one
  bool trace = false;              // the frame trace, from the link's opening on
  std::string traceFile;           // empty: standard error
};

// The settings file (read only), overlaid with the options. False with a
// message for an option that does not fit.
bool ChooseLink(const CommonOptions& options, LinkChoice& choice, std::string& error);

// "lan 127.0.0.1:5000, 9600 Bd": how the link is reached, in the
// command line's words.
std::string DescribeLink(const TConnectionConfig& config, uint8_t baudCode);

}  // namespace dqcli
