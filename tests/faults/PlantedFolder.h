// A scratch folder made the current folder, holding the planted library
// under the five driver libraries' file names, for the loading tests.
#pragma once

#include <string>
#include <vector>

#include "TempDir.h"

namespace faults {

class PlantedFolder {
 public:
  // plantedLibrary: the built planted library to copy in.
  explicit PlantedFolder(const std::string& plantedLibrary);
  ~PlantedFolder();

  bool Ready() const { return ready_; }
  const std::string& Path() const { return folder_.Path(); }
  // True when the planted library left its marker (here or by default name).
  bool MarkerWritten() const;

 private:
  dqtest::TempDir folder_;
  std::string previous_;
  bool ready_ = false;
};

// Paths of the files mapped into this process whose name is fileName.
std::vector<std::string> MappedFiles(const std::string& fileName);

}  // namespace faults
