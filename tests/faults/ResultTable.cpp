#include "ResultTable.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace faults {

namespace {

std::mutex g_mutex;
std::vector<ResultRow> g_rows;

}  // namespace

void AddRow(const ResultRow& row) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_rows.push_back(row);
}

void ResultTablePrinter::TearDown() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_rows.empty()) return;
  std::printf("\n%s\n\n", title_.c_str());
  std::printf("| fault | link | window | message shown | worst ms | bound ms | recovery |\n");
  std::printf("|---|---|---|---|---:|---:|---|\n");
  for (const ResultRow& row : g_rows) {
    std::printf("| %s | %s | %s | \"%s\" | %.0f | %.0f | %s |\n", row.fault.c_str(), row.link.c_str(),
                row.window.c_str(), row.message.c_str(), row.worstMs, row.boundMs, row.recovery.c_str());
  }
  std::fflush(stdout);
}

}  // namespace faults
