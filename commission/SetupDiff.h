// What differs between a saved configuration and a module's: by field, for
// people (address, rate, CNT n pulse number, DINn negated, DOUTn negated,
// DOUTn initial), and by register, for a restore.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Dekl.h"

namespace dqcommission {

struct FieldDifference {
  std::string field;        // the file's key, e.g. "DIN5 negated"
  std::string fileValue;    // as the file writes it
  std::string moduleValue;
  bool compared = true;     // false: address or rate, shown for information
};

// Every field whose values differ. Address and rate are compared only with
// withAddress; otherwise they are listed with compared = false when they
// differ.
std::vector<FieldDifference> CompareSetups(const TModuleSetup& file, const TModuleSetup& module, bool withAddress);
// The number of entries that count as a difference.
size_t CountedDifferences(const std::vector<FieldDifference>& differences);

struct RegisterWrite {
  uint8_t reg = 0;
  uint8_t from = 0;  // the module's value
  uint8_t to = 0;    // the file's value
};

// The registers that differ, in the order of SetupRegisterOrder; address
// and rate registers only with withAddress.
std::vector<RegisterWrite> PlanWrites(const TModuleSetup& file, const TModuleSetup& module, bool withAddress);

}  // namespace dqcommission
