#include "core/ProgramFolder.h"

#include <unistd.h>

#include <climits>

namespace dqcore {

std::string ProgramFolder() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return std::string();
  const std::string path(exe, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  // A program in / itself has the root as its folder, never an empty one.
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace dqcore
