#include "TraceOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace dqcli {

namespace {

struct TraceOutput {
  std::FILE* file = nullptr;  // owned unless it is stderr
  std::unique_ptr<dqcommission::TraceWriter> writer;
  ~TraceOutput() {
    if (file != nullptr && file != stderr) std::fclose(file);
  }
};

TraceOutput& Output() {
  static TraceOutput output;
  return output;
}

}  // namespace

dqcommission::TraceWriter* TraceWriterFor(const std::string& file, std::string& error) {
  TraceOutput& output = Output();
  if (output.writer) return output.writer.get();
  std::FILE* out = stderr;
  if (!file.empty()) {
    // Appended, so that a trace of an earlier run is never lost.
    out = std::fopen(file.c_str(), "ae");
    if (out == nullptr) {
      error = "cannot open the trace file " + file + ": " + std::strerror(errno);
      return nullptr;
    }
  }
  output.file = out;
  output.writer = std::make_unique<dqcommission::TraceWriter>(out);
  return output.writer.get();
}

}  // namespace dqcli
