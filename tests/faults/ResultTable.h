// Rows of the fault tests' result table, printed as Markdown when the test
// program ends (docs/faults.md is pasted from that output).
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace faults {

struct ResultRow {
  std::string fault;
  std::string link;
  std::string window;
  std::string message;   // the text the window showed (UTF-8)
  double worstMs = 0;    // longest faulty action measured
  double boundMs = 0;    // from the formulas of docs/protocol.md
  std::string recovery;  // what brought the window back
};

void AddRow(const ResultRow& row);

// Prints the collected rows at the end of the program.
class ResultTablePrinter : public ::testing::Environment {
 public:
  explicit ResultTablePrinter(std::string title) : title_(std::move(title)) {}
  void TearDown() override;

 private:
  std::string title_;
};

}  // namespace faults
