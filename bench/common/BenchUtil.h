// Pieces the benchmarks share: where the program lies (the libraries and
// the simulator are found beside it), child processes started quietly, and
// the median of a run's figures.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace dqbench {

// The running program's path, and its folder ("." when unknown).
std::string SelfPath();
std::string SelfDir();

// Starts args[0] with args; its standard output goes to stdoutFd (or
// /dev/null when negative), its diagnostics to /dev/null, so that they do
// not clutter the figures. -1 when it cannot be started.
pid_t Spawn(const std::vector<std::string>& args, int stdoutFd = -1);

// The middle value (upper middle of an even count); 0 when empty.
double Median(std::vector<double> values);

}  // namespace dqbench
