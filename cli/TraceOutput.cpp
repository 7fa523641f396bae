#include "TraceOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace dqcli {

namespace {

struct TraceOutput {
  std::FILE* file = nullptr;  // owned unless it is stderr
  std::string name;
  std::unique_ptr<dqcommission::TraceWriter> writer;
  ~TraceOutput() {
    if (file == nullptr || file == stderr) return;
    // A full disk must not cost the trace unnoticed.
    const bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || failed) {
      std::fprintf(stderr, "dq7184: the trace file %s is not complete: %s\n", name.c_str(), std::strerror(errno));
    }
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
  // Line by line, so that the trace reaches the file up to the last
  // frame also when the program is killed.
  if (out != stderr) std::setvbuf(out, nullptr, _IOLBF, 0);
  output.file = out;
  output.name = file;
  output.writer = std::make_unique<dqcommission::TraceWriter>(out);
  return output.writer.get();
}

}  // namespace dqcli
