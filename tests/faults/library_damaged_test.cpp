// A driver library file shorter than its own ELF headers say (a copy cut
// short, a full disk) is refused with the load error 100 + type before it
// is mapped. Mapped, it killed the program with SIGBUS. This binary lives
// in a folder of its own, where it puts the cut copies of the real
// TDQ2847.DLL; each load runs in a child, so a crash is seen as one.
#include <gtest/gtest.h>

#include <elf.h>
#include <link.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "PlantedFolder.h"
#include "TempDir.h"
#include "Txxx847.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMappedAnyway = 250;

// The child's exit code: DriverInit's result, or kMappedAnyway when the
// refused file is mapped all the same.
int LoadInChild() {
  const std::string ip = "127.0.0.1";
  intptr_t params[kInitParamCount] = {reinterpret_cast<intptr_t>(ip.c_str()), 5999, 40};
  int32_t handle = 0;
  const int32_t result = DriverInit(itDq2847, handle, params);
  return result == 104 && !faults::MappedFiles("TDQ2847.DLL").empty() ? kMappedAnyway : result;
}

TEST(DamagedLibrary, FileCutShortOfItsHeadersIsRefusedBeforeItIsMapped) {
  const fs::path installed = fs::read_symlink("/proc/self/exe").parent_path() / "TDQ2847.DLL";
  const std::string whole = dqtest::ReadFile(DQ_OUTPUT_DIR "/TDQ2847.DLL");
  ASSERT_GT(whole.size(), 16384u);
  ElfW(Ehdr) header;
  std::memcpy(&header, whole.data(), sizeof header);
  size_t segmentsEnd = 0;  // of the last loaded segment
  for (size_t i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) segment;
    std::memcpy(&segment, whole.data() + header.e_phoff + i * header.e_phentsize, sizeof segment);
    if (segment.p_type == PT_LOAD) segmentsEnd = std::max<size_t>(segmentsEnd, segment.p_offset + segment.p_filesz);
  }
  // The section header table is the end of the file, behind the segments.
  ASSERT_EQ(header.e_shoff + header.e_shnum * header.e_shentsize, whole.size());
  ASSERT_LT(segmentsEnd, header.e_shoff);

  const struct {
    const char* name;
    size_t size;
    int32_t expected;
  } rows[] = {
      {"the whole file (loads)", whole.size(), 0},
      {"its first 4 KiB", 4096, 104},
      {"the ELF header only", sizeof header, 104},
      {"inside the program header table", header.e_phoff + header.e_phentsize + 1, 104},
      {"one byte short of its last loaded segment", segmentsEnd - 1, 104},
      {"inside the section header table", whole.size() - 1, 104},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    dqtest::WriteFile(installed.string(), whole.substr(0, row.size));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(LoadInChild());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the load of " << row.size << " bytes killed the process: "
                                   << strsignal(WTERMSIG(status));
    EXPECT_NE(WEXITSTATUS(status), kMappedAnyway) << "refused, but mapped all the same";
    EXPECT_EQ(WEXITSTATUS(status), row.expected) << row.size << " of " << whole.size() << " bytes";
  }
  fs::remove(installed);
}

}  // namespace
