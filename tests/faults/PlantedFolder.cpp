#include "PlantedFolder.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace faults {

namespace fs = std::filesystem;

namespace {
const char* const kLibraryNames[] = {"TCOM847.DLL", "TPCI847.DLL", "TPCI2847.DLL", "TUSB2847.DLL", "TDQ2847.DLL"};
constexpr const char* kDefaultMarker = "PLANTED_LIBRARY_WAS_LOADED";
}  // namespace

PlantedFolder::PlantedFolder(const std::string& plantedLibrary) {
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) return;
  previous_ = cwd;
  std::error_code error;
  for (const char* name : kLibraryNames) {
    fs::copy_file(plantedLibrary, folder_.File(name), error);
    if (error) return;
  }
  setenv("DQ_PLANTED_MARKER", folder_.File("marker").c_str(), 1);
  ready_ = chdir(folder_.Path().c_str()) == 0;
}

PlantedFolder::~PlantedFolder() {
  if (!previous_.empty()) (void)!chdir(previous_.c_str());
  unsetenv("DQ_PLANTED_MARKER");
}

bool PlantedFolder::MarkerWritten() const {
  return fs::exists(folder_.File("marker")) || fs::exists(folder_.File(kDefaultMarker));
}

std::vector<std::string> MappedFiles(const std::string& fileName) {
  std::ifstream maps("/proc/self/maps");
  std::set<std::string> paths;
  std::string line;
  while (std::getline(maps, line)) {
    const size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    const std::string path = line.substr(slash);
    if (path.size() > fileName.size() && path.compare(path.size() - fileName.size(), fileName.size(), fileName) == 0 &&
        path[path.size() - fileName.size() - 1] == '/') {
      paths.insert(path);
    }
  }
  return std::vector<std::string>(paths.begin(), paths.end());
}

}  // namespace faults
