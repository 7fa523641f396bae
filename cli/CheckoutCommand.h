// The command "checkout": the guided I/O checkout on a terminal.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>

#include "cli/LinkOpener.h"

namespace CLI {
class App;
}

struct CheckoutArgs {
  std::string loopback;   // plan file; empty: the technician proves the outputs
  std::string results = "checkout.json";
  std::string outputs = "all";  // channel lists: "all", "none", "0-7,12"
  std::string inputs = "all";
  std::string counters = "all";
  int timeoutSeconds = 30;  // per input and per counter
  bool keepGoing = false;
};

// Registers "checkout" on `app`; its callback sets `exitCode`. `stop` is set by the program's SIGINT
// handler, which must not restart an interrupted read (no SA_RESTART), so
// that Ctrl+C at a question ends the checkout at once.
CLI::App* AddCheckoutCommand(CLI::App& app, LinkOpener openLink, const std::atomic<bool>& stop, int& exitCode);

// The command's work, for the callback and for tests: reads the plan,
// opens the link, runs the checkout with questions on `out` and answers
// from `in`, saves the results. Returns the exit code: 0 passed, 1 failed,
// stopped or declined, 2 bad arguments or files, 3 link error.
int RunCheckoutCommand(const CheckoutArgs& args, const LinkOpener& openLink, std::istream& in, std::ostream& out,
                       std::ostream& err, const std::atomic<bool>& stop);

// "all", "none" or a comma list of channels and ranges 0-31 ("0-7,12").
bool ParseChannelList(const std::string& text, uint32_t& mask);
